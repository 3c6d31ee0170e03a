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
    EXPECT_EQ(cache.Get("KEY9", Lookup::Exact), "v9");
    EXPECT_FALSE(cache.Get("key10", Lookup::Exact));
    // An existing key, in any letter case, still takes a new value when the cache is full.
    cache.Put("KEY3", "new");
    EXPECT_EQ(cache.Get("key3", Lookup::Exact), "new");
}

// The cookie goes only to hosts inside its domain, never to a URL that merely mentions it;
// the Basic header only to its exact URL.
TEST(AuthCacheTest, ProcessWideCachesMatchCookieDomainsAndExactUrls) {
    RememberCookie(".box.localhost", "IPCZ-X-COOKIE=t1");
    EXPECT_EQ(CookieForUrl("http://service.box.localhost:8080/s"), "IPCZ-X-COOKIE=t1");
    EXPECT_EQ(CookieForUrl("http://BOX.localhost/"), "IPCZ-X-COOKIE=t1");
    for (const char* other :
         {"https://evil.example/?x=.box.localhost", "https://evilbox.localhost/",
          "https://box.localhost.evil.example/", "https://evil.example#.box.localhost"})
        EXPECT_FALSE(CookieForUrl(other)) << other;

    RememberAuthorization("https://Box.example/login", "Authorization: Basic eDp5");
    EXPECT_EQ(AuthorizationForUrl("https://box.example/LOGIN"), "Authorization: Basic eDp5");
    EXPECT_FALSE(AuthorizationForUrl("https://box.example/login/more"));
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
