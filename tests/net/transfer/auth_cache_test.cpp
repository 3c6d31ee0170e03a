#include "net/transfer/auth_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace quillbox::net {
namespace {

using Lookup = AuthCache::Lookup;

TEST(AuthCacheTest, TenSlotsEleventhKeyDroppedEmptyKeyUsesNone) {
    AuthCache cache;
    cache.Put("", "x");
    EXPECT_FALSE(cache.Get("", Lookup::Exact));
    EXPECT_FALSE(cache.Get("anything", Lookup::Substring));
    for (int i = 0; i < 11; ++i)
        cache.Put("key" + std::to_string(i), "v" + std::to_string(i));
    EXPECT_EQ(cache.Get("key9", Lookup::Exact), "v9");
    EXPECT_FALSE(cache.Get("key10", Lookup::Exact));
    // An existing key still takes a new value when the cache is full.
    cache.Put("KEY3", "new");
    EXPECT_EQ(cache.Get("key3", Lookup::Exact), "new");
}

TEST(AuthCacheTest, SubstringTakesFirstSlotWithItsFirstSpelling) {
    AuthCache cache;
    cache.Put("Example.CZ", "a");
    cache.Put("example.cz", "b");
    cache.Put("login.Example.CZ", "long");
    EXPECT_EQ(cache.Get("EXAMPLE.cz", Lookup::Exact), "b");
    // Substring lookups compare with letter case, against the first spelling, first slot first.
    EXPECT_EQ(cache.Get("https://login.Example.CZ/x", Lookup::Substring), "b");
    EXPECT_FALSE(cache.Get("https://www.example.cz/x", Lookup::Substring));

    AuthCache nulls;
    nulls.Put("a", std::nullopt);
    nulls.Put("ab", "second");
    EXPECT_FALSE(nulls.Get("xab", Lookup::Substring));  // "a" matches first, holds nothing
}

TEST(AuthCacheTest, ProcessWideWrappersUseTheirOwnLookup) {
    RememberAuthorization("https://Box.example/login", "Authorization: Basic eDp5");
    EXPECT_EQ(AuthorizationForUrl("https://box.example/LOGIN"), "Authorization: Basic eDp5");
    EXPECT_FALSE(AuthorizationForUrl("https://box.example/login/more"));
    RememberCookie("cookies.example", "IPCZ-X-COOKIE=abc");
    EXPECT_EQ(CookieForUrl("https://www.cookies.example/p"), "IPCZ-X-COOKIE=abc");
    EXPECT_FALSE(CookieForUrl("https://Box.example/login"));  // the two caches are separate
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
