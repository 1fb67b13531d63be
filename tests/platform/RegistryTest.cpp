#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/Registry.h"
#include "tests/fixtures/TestRoot.h"

namespace {

const char* const kKey = "SOFTWARE\\Test\\Values";

HKEY CreateKey(const char* path = kKey) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

LONG SetText(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

std::string GetText(HKEY key, const char* name, LONG* rc = nullptr) {
    char buffer[4096] = {};
    DWORD size = sizeof buffer;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
    if (rc) *rc = result;
    return buffer;
}

TEST(Registry, NamesAreCaseInsensitiveAndKeepTheirCase) {
    kvtest::TestRoot root;
    HKEY key = CreateKey();
    DWORD one = 1;
    ASSERT_EQ(RegSetValueExA(key, "FirstStart", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
    DWORD value = 0, size = 4, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "FIRSTSTART", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 1u);
    // A write under another spelling replaces the value and keeps the first spelling.
    DWORD two = 2;
    ASSERT_EQ(RegSetValueExA(key, "firststart", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), 4), ERROR_SUCCESS);
    char name[64];
    DWORD nameLength = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "FirstStart");
    nameLength = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);

    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\TEST\\values", 0, KEY_READ, &again), ERROR_SUCCESS);
    size = 4;
    ASSERT_EQ(RegQueryValueExA(again, "FirstStart", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 2u);
    RegCloseKey(again);
}

TEST(Registry, MissingKeyFailsReadsAndWritesAndIsNotCreated) {
    kvtest::TestRoot root;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", 0, KEY_WRITE, &key), ERROR_FILE_NOT_FOUND);
    // A key deleted while open: writes fail and do not bring it back.
    HKEY open = CreateKey("SOFTWARE\\Gone");
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone"), ERROR_SUCCESS);
    EXPECT_NE(SetText(open, "X", "y"), ERROR_SUCCESS);
    LONG rc = 0;
    GetText(open, "X", &rc);
    EXPECT_NE(rc, ERROR_SUCCESS);
    RegCloseKey(open);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Gone", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, QueryIntoASmallBufferLeavesItUntouched) {
    kvtest::TestRoot root;
    HKEY key = CreateKey();
    ASSERT_EQ(SetText(key, "SERVERIP", "mail.example.org"), ERROR_SUCCESS);
    char small[4] = {'a', 'b', 'c', '\0'};
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "SERVERIP", nullptr, nullptr, reinterpret_cast<LPBYTE>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 17u);
    EXPECT_STREQ(small, "abc");
    RegCloseKey(key);
}

TEST(Registry, AnyNameIsOneValue) {
    kvtest::TestRoot root;
    HKEY key = CreateKey();
    const char* names[] = {"", ".", "..", "a/b", "100%", "%41", ".tmp.1.2", "back\\slash", "Grüße"};
    for (const char* name : names) ASSERT_EQ(SetText(key, name, std::string("v:") + name), ERROR_SUCCESS) << name;
    for (const char* name : names) EXPECT_EQ(GetText(key, name), std::string("v:") + name) << name;
    std::vector<std::string> listed;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        listed.push_back(name);
    }
    EXPECT_EQ(listed.size(), std::size(names));
    RegCloseKey(key);
}

TEST(Registry, WideQueryReturnsUtf16Text) {
    kvtest::TestRoot root;
    HKEY key = CreateKey("Control Panel\\International");
    RegCloseKey(key);
    HKEY users = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_USERS, ".DEFAULT\\Control Panel\\International", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &users, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(SetText(users, "Locale", "00000407"), ERROR_SUCCESS);
    RegCloseKey(users);
    HKEY wide = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_USERS, u".DEFAULT\\Control Panel\\International", 0, KEY_READ, &wide), ERROR_SUCCESS);
    char16_t text[32] = {};
    DWORD size = sizeof text;
    ASSERT_EQ(RegQueryValueExW(wide, u"Locale", nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"00000407");
    EXPECT_EQ(size, 18u);
    RegCloseKey(wide);
}

TEST(Registry, KeysWithSubKeysAreNotDeletedOneByOne) {
    kvtest::TestRoot root;
    RegCloseKey(CreateKey("SOFTWARE\\Tree\\Leaf"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"), ERROR_SUCCESS);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

// Writers of different values never lose each other's data, and a reader
// sees either the old or the new text, never a mixture.
TEST(Registry, ConcurrentWritesAreAtomic) {
    kvtest::TestRoot root;
    RegCloseKey(CreateKey());
    const std::string a(3000, 'a'), b(2000, 'b');
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            HKEY key = nullptr;
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_WRITE, &key);
            std::string name = "V" + std::to_string(t);
            for (int i = 0; i <= 200; ++i) SetText(key, name.c_str(), std::to_string(i));
            RegCloseKey(key);
        });
    }
    threads.emplace_back([&] {
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_WRITE, &key);
        for (int i = 0; i < 300; ++i) SetText(key, "Big", i % 2 ? a : b);
        stop = true;
        RegCloseKey(key);
    });
    threads.emplace_back([&] {
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key);
        while (!stop) {
            LONG rc = 0;
            std::string seen = GetText(key, "Big", &rc);
            if (rc == ERROR_SUCCESS && seen != a && seen != b) ++torn;
        }
        RegCloseKey(key);
    });
    for (auto& t : threads) t.join();
    EXPECT_EQ(torn.load(), 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(GetText(key, ("V" + std::to_string(t)).c_str()), "200");
    RegCloseKey(key);
}

// A value rewritten with data of the same size within the same instant must
// not be served from memory.
TEST(Registry, RereadSeesEveryRewrite) {
    kvtest::TestRoot root;
    HKEY key = CreateKey();
    DWORD value = 0, size = 4;
    for (DWORD i = 0; i < 50; ++i) {
        ASSERT_EQ(RegSetValueExA(key, "STARTNOW", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4), ERROR_SUCCESS);
        size = 4;
        ASSERT_EQ(RegQueryValueExA(key, "STARTNOW", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size), ERROR_SUCCESS);
        ASSERT_EQ(value, i);
    }
    RegCloseKey(key);
}

}  // namespace
