#include "gen/Registry.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Sandbox.h"

namespace {

const char kSubKey[] = "Software\\GenRegistryTest";

struct Place {
    HKEY root;
    REGSAM view;  // KEY_WOW64_32KEY or 0
};
const Place kUser32{HKEY_CURRENT_USER, KEY_WOW64_32KEY};
const Place kUser{HKEY_CURRENT_USER, 0};
const Place kMachine32{HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY};
const Place kMachine{HKEY_LOCAL_MACHINE, 0};

// Each test starts from no key in any place; natively the registry is a
// file of the test's own.
class RegistryText : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableA("COMPAT_REGISTRY", sandbox.Path("registry.reg").c_str());
        RemoveAll();
    }
    void TearDown() override {
        RemoveAll();
        SetEnvironmentVariableA("COMPAT_REGISTRY", nullptr);
    }
    static void RemoveAll() {
        // The 32-bit view of the machine's Software is its Wow6432Node
        // subkey; per-user Software is one for both views.
        RegDeleteTreeA(HKEY_CURRENT_USER, kSubKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSubKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\GenRegistryTest");
    }
    static void Put(const Place& place, const char* name, DWORD type, const void* data,
                    DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(place.root, kSubKey, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS | place.view, nullptr, &key,
                                                 nullptr));
        LONG status = name ? RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size)
                           : ERROR_SUCCESS;
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, status);
    }
    static void PutText(const Place& place, const std::string& text) {
        Put(place, "Folder", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    static RegistryTextResult Read(char* text, DWORD capacity) {
        return ReadRegistryText(kSubKey, "Folder", text, capacity);
    }

    Sandbox sandbox;
};

TEST_F(RegistryText, TakesTheFirstPlaceInOrder) {
    // Each row fills the places from the last up to `first`; the one named
    // `first` must win.
    const Place order[] = {kUser32, kUser, kMachine32, kMachine};
    const char* names[] = {"user 32-bit", "user", "machine 32-bit", "machine"};
    for (int first = 3; first >= 0; --first) {
        PutText(order[first], names[first]);
        char text[64];
        RegistryTextResult result = Read(text, sizeof text);
        EXPECT_EQ(ERROR_SUCCESS, result.status) << names[first];
        EXPECT_TRUE(result.keyFound);
        EXPECT_STREQ(names[first], text);
    }
}

TEST_F(RegistryText, MissingKeyEverywhereReportsTheLastOpen) {
    char text[16] = "stale";
    RegistryTextResult result = Read(text, sizeof text);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result.status);
    EXPECT_FALSE(result.keyFound);
    EXPECT_STREQ("", text);
}

TEST_F(RegistryText, OnlyTheFirstKeyThatOpensIsQueried) {
    Put(kUser, nullptr, REG_NONE, nullptr, 0);
    PutText(kMachine, "machine");
    char text[16];
    RegistryTextResult result = Read(text, sizeof text);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result.status);
    EXPECT_TRUE(result.keyFound);
    EXPECT_STREQ("", text);
}

TEST_F(RegistryText, UnusableValuesLeaveTheTextEmpty) {
    const DWORD number = 7;
    const struct {
        const char* what;
        DWORD type;
        const void* data;
        DWORD size;
        LONG status;
    } cases[] = {
        {"expandable text", REG_EXPAND_SZ, "C:\\x", 5, ERROR_SUCCESS},
        {"number", REG_DWORD, &number, 4, ERROR_SUCCESS},
        {"size 0", REG_SZ, "", 0, ERROR_SUCCESS},
        {"empty text", REG_SZ, "", 1, ERROR_SUCCESS},
        {"larger than the buffer", REG_SZ, "0123456789abcdef", 17, ERROR_MORE_DATA},
    };
    for (const auto& c : cases) {
        Put(kUser32, "Folder", c.type, c.data, c.size);
        char text[16] = "stale";
        RegistryTextResult result = Read(text, sizeof text);
        EXPECT_EQ(c.status, result.status) << c.what;
        EXPECT_TRUE(result.keyFound) << c.what;
        EXPECT_STREQ("", text) << c.what;
    }
}

TEST_F(RegistryText, TextsWrittenWithoutTheirNulAreTerminated) {
    // Windows also stores a terminator that follows the caller's data though
    // the size left it out; compat stores exactly the bytes it was given.
    // Either way the text reads back terminated.
    Put(kUser32, "Folder", REG_SZ, "abc", 3);
    char text[4];
    EXPECT_EQ(ERROR_SUCCESS, Read(text, sizeof text).status);
    EXPECT_STREQ("abc", text);

    // Four characters fill a four-byte buffer with no room to terminate them:
    // too long, whether the system reports more data (it counted the NUL) or
    // hands back the four bytes.
    Put(kUser32, "Folder", REG_SZ, "abcd", 4);
    char small[4] = "xy";
    RegistryTextResult result = Read(small, sizeof small);
    EXPECT_TRUE(result.status == ERROR_MORE_DATA || result.status == ERROR_SUCCESS) << result.status;
    EXPECT_STREQ("", small);
}

TEST_F(RegistryText, AcceptsAValueThatExactlyFillsTheBuffer) {
    std::string folder(10239, 'f');
    PutText(kUser32, folder);
    static char text[10240];
    EXPECT_EQ(ERROR_SUCCESS, Read(text, sizeof text).status);
    EXPECT_EQ(folder, text);

    PutText(kUser32, folder + "g");
    EXPECT_EQ(ERROR_MORE_DATA, Read(text, sizeof text).status);
    EXPECT_STREQ("", text);
}

}  // namespace
