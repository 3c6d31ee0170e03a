#include "net/transfer/auth_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace quillbox::net {
namespace {

using Lookup = AuthCache::Lookup;

TEST(AuthCacheTest, EleventhKeyIsDroppedSilently) {
    AuthCache cache;
    for (int i = 0; i < 11; ++i)
        cache.Put("key" + std::to_string(i), "v" + std::to_string(i));
    EXPECT_EQ(cache.Get("key9", Lookup::Exact), "v9");
    EXPECT_FALSE(cache.Get("key10", Lookup::Exact));
    // An existing key still takes a new value when the cache is full.
    cache.Put("KEY3", "new");
    EXPECT_EQ(cache.Get("key3", Lookup::Exact), "new");
}

TEST(AuthCacheTest, KeyCaseIsIgnoredButFirstSpellingKept) {
    AuthCache cache;
    cache.Put("Example.CZ", "a");
    cache.Put("example.cz", "b");
    EXPECT_EQ(cache.Get("EXAMPLE.cz", Lookup::Exact), "b");
    // Substring lookups compare with letter case, against the first spelling.
    EXPECT_EQ(cache.Get("https://www.Example.CZ/x", Lookup::Substring), "b");
    EXPECT_FALSE(cache.Get("https://www.example.cz/x", Lookup::Substring));
}

TEST(AuthCacheTest, SubstringTakesFirstSlotNotLongestKey) {
    AuthCache cache;
    cache.Put("example.cz", "short");
    cache.Put("login.example.cz", "long");
    EXPECT_EQ(cache.Get("https://login.example.cz/a", Lookup::Substring), "short");
}

TEST(AuthCacheTest, EmptyKeyNeverStoredNorLookedUp) {
    AuthCache cache;
    cache.Put("", "x");
    EXPECT_FALSE(cache.Get("", Lookup::Exact));
    EXPECT_FALSE(cache.Get("anything", Lookup::Substring));
    // The empty put used no slot: ten real keys still fit.
    for (int i = 0; i < 10; ++i)
        cache.Put("k" + std::to_string(i), "v");
    EXPECT_EQ(cache.Get("k9", Lookup::Exact), "v");
}

TEST(AuthCacheTest, NullValueMatchesButReturnsNothing) {
    AuthCache cache;
    cache.Put("a", std::nullopt);
    cache.Put("ab", "second");
    EXPECT_FALSE(cache.Get("xab", Lookup::Substring));  // "a" matches first, holds nothing
    cache.Put("a", "now");
    EXPECT_EQ(cache.Get("a", Lookup::Exact), "now");
}

TEST(AuthCacheTest, ProcessWideWrappersUseTheirOwnLookup) {
    RememberAuthorization("https://Box.example/login", "Authorization: Basic eDp5");
    EXPECT_EQ(AuthorizationForUrl("https://box.example/LOGIN"), "Authorization: Basic eDp5");
    EXPECT_FALSE(AuthorizationForUrl("https://box.example/login/more"));
    RememberCookie("cookies.example", "IPCZ-X-COOKIE=abc");
    EXPECT_EQ(CookieForUrl("https://www.cookies.example/p"), "IPCZ-X-COOKIE=abc");
    // The two caches are separate.
    EXPECT_FALSE(CookieForUrl("https://Box.example/login"));
}

TEST(AuthCacheTest, ParallelWritersKeepAtMostTenUniqueKeys) {
    AuthCache cache;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&cache, t] {
            for (int i = 0; i < 200; ++i) {
                cache.Put("key" + std::to_string(i % 15), "v" + std::to_string(t));
                (void)cache.Get("key" + std::to_string(i % 15), Lookup::Exact);
            }
        });
    for (auto& th : threads)
        th.join();
    int stored = 0;
    for (int i = 0; i < 15; ++i)
        stored += cache.Get("key" + std::to_string(i), Lookup::Exact) ? 1 : 0;
    EXPECT_EQ(stored, 10);
}

}  // namespace
}  // namespace quillbox::net
