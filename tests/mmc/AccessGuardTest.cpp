// The checks every request of the console passes.
#include <gtest/gtest.h>

#include "platform/mmc/server/AccessGuard.h"

using kv::mmc::AccessGuard;

TEST(AccessGuardTest, TokenFromQueryOrItsOwnCookieOnly) {
    AccessGuard guard(8043, std::string(64, 'a'));
    EXPECT_TRUE(guard.Authenticated(std::string(64, 'a'), ""));
    EXPECT_TRUE(guard.Authenticated("", "theme=dark; kvmmc-8043=" + std::string(64, 'a')));
    EXPECT_FALSE(guard.Authenticated("", "kvmmc-8044=" + std::string(64, 'a'))) << "another console's cookie";
    EXPECT_FALSE(guard.Authenticated("", "xkvmmc-8043=" + std::string(64, 'a')));
    EXPECT_FALSE(guard.Authenticated(std::string(63, 'a'), "kvmmc-8043=" + std::string(63, 'a')));
    EXPECT_FALSE(guard.Authenticated("", ""));
    EXPECT_NE(guard.SessionCookie().find("HttpOnly"), std::string::npos);
    EXPECT_NE(guard.SessionCookie().find("SameSite=Strict"), std::string::npos);
}

TEST(AccessGuardTest, OnlyTheConsolesOwnHostAndOrigin) {
    AccessGuard guard(8043);
    EXPECT_EQ(guard.Token().size(), 64u);
    EXPECT_NE(AccessGuard(8043).Token(), guard.Token());
    EXPECT_TRUE(guard.HostAllowed("127.0.0.1:8043"));
    EXPECT_TRUE(guard.HostAllowed("localhost:8043"));
    EXPECT_FALSE(guard.HostAllowed("127.0.0.1"));
    EXPECT_FALSE(guard.HostAllowed("attacker.example:8043")) << "a rebound name";
    EXPECT_FALSE(guard.HostAllowed(""));
    EXPECT_TRUE(guard.OriginAllowed("http://127.0.0.1:8043"));
    EXPECT_FALSE(guard.OriginAllowed("http://127.0.0.1:8043.attacker.example"));
    EXPECT_FALSE(guard.OriginAllowed("null"));
    EXPECT_FALSE(guard.OriginAllowed(""));
    EXPECT_FALSE(guard.OriginAllowed("https://127.0.0.1:8043"));
}
