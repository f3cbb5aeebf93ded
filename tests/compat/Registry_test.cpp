// The registry functions: the same cases hold natively, over compat's .reg
// file, and under Wine. Each test works in a key of its own under
// HKEY_CURRENT_USER\Software and deletes it at the end.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

// Natively the registry is the file named by COMPAT_REGISTRY: the program
// gets a fresh one. Under Wine the variable is set and means nothing.
class RegistryFileEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        folder = std::filesystem::temp_directory_path() / ("compat-registry-" + std::to_string(stamp));
        std::filesystem::create_directories(folder);
        SetEnvironmentVariableA("COMPAT_REGISTRY", (folder / "registry.reg").string().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("COMPAT_REGISTRY", nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

private:
    std::filesystem::path folder;
};

::testing::Environment* const registryFile = ::testing::AddGlobalTestEnvironment(new RegistryFileEnvironment);

const HKEY kNotAKey = HKEY_CLASSES_ROOT;  // a non-null value a failed open must clear

std::vector<BYTE> Bytes(const char* text, size_t size) { return std::vector<BYTE>(text, text + size); }

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        path = std::string("Software\\CompatRegistryTest_") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, &disposition));
        ASSERT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    }
    void TearDown() override {
        if (key != nullptr) RegCloseKey(key);
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()));
    }

    static void Set(HKEY target, const char* name, DWORD type, const std::vector<BYTE>& data) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(target, name, 0, type, data.data(), static_cast<DWORD>(data.size())));
    }
    static void SetText(HKEY target, const char* name, const std::string& text) {
        Set(target, name, REG_SZ, Bytes(text.c_str(), text.size() + 1));
    }
    // The text of a value, "" when it cannot be read.
    static std::string Text(HKEY target, const char* name) {
        char buffer[64];
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(target, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
            return "";
        }
        std::string text(buffer, size);
        return text.substr(0, text.find('\0'));
    }
    // Makes a subkey with one text value "id".
    void MakeSubkey(const char* name, const char* id) {
        HKEY sub = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
        SetText(sub, "id", id);
        RegCloseKey(sub);
    }

    std::string path;
    HKEY key = nullptr;
};

TEST_F(Registry, MissingKeyFailsWithoutHandleAndIsNotCreated) {
    // Twice: RegOpenKeyA must not have made the key on the first call.
    for (int round = 0; round < 2; ++round) {
        HKEY opened = kNotAKey;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(key, "Missing", &opened)) << round;
        EXPECT_EQ(nullptr, opened);
    }
    HKEY opened = kNotAKey;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, (path + "\\Missing\\Deeper").c_str(), 0,
                                                  KEY_READ, &opened));
    EXPECT_EQ(nullptr, opened);
}

TEST_F(Registry, SubkeyNamesFollowWindowsRules) {
    MakeSubkey("Sub", "sub");
    MakeSubkey("a/b", "slash");
    const struct {
        const char* name;
        LONG status;
        const char* id;  // of the key opened
    } cases[] = {
        {"Sub", ERROR_SUCCESS, "sub"},       {"SUB", ERROR_SUCCESS, "sub"},
        {"sub\\", ERROR_SUCCESS, "sub"},     {"\\Sub", ERROR_BAD_PATHNAME, nullptr},
        {"a/b", ERROR_SUCCESS, "slash"},     {"A/B", ERROR_SUCCESS, "slash"},
        {"a", ERROR_FILE_NOT_FOUND, nullptr}, {"a\\b", ERROR_FILE_NOT_FOUND, nullptr},
    };
    for (const auto& c : cases) {
        HKEY opened = kNotAKey;
        ASSERT_EQ(c.status, RegOpenKeyExA(key, c.name, 0, KEY_READ, &opened)) << c.name;
        if (c.status != ERROR_SUCCESS) {
            EXPECT_EQ(nullptr, opened) << c.name;
            continue;
        }
        EXPECT_EQ(c.id, Text(opened, "id")) << c.name;
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(opened));
    }
    // The same from the root, with the 32-bit view flag, which HKCU\Software ignores.
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, (path + "\\SUB\\").c_str(), 0,
                                           KEY_READ | KEY_WOW64_32KEY, &opened));
    EXPECT_EQ("sub", Text(opened, "id"));
    RegCloseKey(opened);
}

TEST_F(Registry, NoSubkeyOpensTheKeyItself) {
    SetText(key, "id", "self");
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        HKEY same = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(key, name, &same));
        EXPECT_EQ("self", Text(same, "id"));
        // Windows gives back the handle passed in; a new one must be closed.
        if (same != key) RegCloseKey(same);

        HKEY fresh = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, name, 0, KEY_READ, &fresh));
        EXPECT_EQ("self", Text(fresh, "id"));
        if (fresh != key) RegCloseKey(fresh);
    }
}

TEST_F(Registry, QueryReportsSizesAndTypes) {
    SetText(key, "Greeting", "hello");
    SetText(key, nullptr, "dflt");
    const struct {
        const char* what;
        const char* name;
        bool withData;
        DWORD capacity;  // of an exactly sized buffer, so that an overrun shows
        LONG status;
        DWORD size;
        const char* text;  // the buffer's contents on success
    } cases[] = {
        {"size only", "Greeting", false, 0, ERROR_SUCCESS, 6, nullptr},
        {"exact buffer", "Greeting", true, 6, ERROR_SUCCESS, 6, "hello"},
        {"large buffer", "Greeting", true, 64, ERROR_SUCCESS, 6, "hello"},
        {"no room for the NUL", "Greeting", true, 5, ERROR_MORE_DATA, 6, nullptr},
        {"empty buffer", "Greeting", true, 0, ERROR_MORE_DATA, 6, nullptr},
        {"other case", "GREETING", true, 6, ERROR_SUCCESS, 6, "hello"},
        {"default by NULL", nullptr, true, 5, ERROR_SUCCESS, 5, "dflt"},
        {"default by \"\"", "", true, 5, ERROR_SUCCESS, 5, "dflt"},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> buffer(c.capacity > 0 ? c.capacity : 1);  // data non-null even for 0
        DWORD type = REG_NONE;
        DWORD size = c.capacity;
        LONG status = RegQueryValueExA(key, c.name, nullptr, &type, c.withData ? buffer.data() : nullptr, &size);
        EXPECT_EQ(c.status, status) << c.what;
        EXPECT_EQ(c.size, size) << c.what;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << c.what;
        if (c.text != nullptr) {
            EXPECT_EQ(Bytes(c.text, strlen(c.text) + 1), std::vector<BYTE>(buffer.begin(), buffer.begin() + size)) << c.what;
        }
    }

    BYTE buffer[8];
    DWORD reserved = 0;
    DWORD size = sizeof buffer;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Greeting", nullptr, nullptr, buffer, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "Greeting", &reserved, nullptr, buffer, &size));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Greeting", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Missing", nullptr, nullptr, buffer, &size));
}

TEST_F(Registry, StringSizesAsStored) {
    // Three bytes, no NUL after them: stored raw.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcX"), 3));
    Set(key, "Empty", REG_SZ, {});
    const struct {
        const char* name;
        DWORD capacity;
        LONG status;
        DWORD size;
        std::vector<BYTE> data;  // the buffer's contents on success
    } cases[] = {
        {"Raw", 3, ERROR_SUCCESS, 3, Bytes("abc", 3)},     // exactly full: no NUL added
        {"Raw", 4, ERROR_SUCCESS, 3, Bytes("abc", 4)},     // room: a NUL added
        {"Raw", 2, ERROR_MORE_DATA, 3, {}},
        {"Empty", 4, ERROR_SUCCESS, 0, {'#', '#', '#', '#'}},  // nothing written
    };
    for (const auto& c : cases) {
        std::vector<BYTE> buffer(c.capacity, '#');
        DWORD type = REG_NONE;
        DWORD size = c.capacity;
        EXPECT_EQ(c.status, RegQueryValueExA(key, c.name, nullptr, &type, buffer.data(), &size)) << c.name;
        EXPECT_EQ(c.size, size) << c.name;
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << c.name;
        if (c.status == ERROR_SUCCESS) {
            EXPECT_EQ(c.data, std::vector<BYTE>(buffer.begin(), buffer.begin() + c.data.size())) << c.name;
        }
    }
    // A string sized without its NUL at the very end of the caller's block:
    // its bytes are stored and nothing past them is read (the sanitizers of
    // the native build see any read). Windows also counts a NUL that happens
    // to follow; compat never looks there.
    std::vector<BYTE> exact = Bytes("xyz", 3);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Exact", 0, REG_SZ, exact.data(), 3));
    BYTE read[8] = {};
    DWORD readSize = sizeof read;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Exact", nullptr, nullptr, read, &readSize));
    EXPECT_EQ(0, memcmp(read, "xyz", 3));
#ifndef _WIN32
    EXPECT_EQ(3u, readSize);
#endif
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "NoData", 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ(998, RegSetValueExA(key, "NoData", 0, REG_BINARY, nullptr, 4));  // ERROR_NOACCESS
}

TEST_F(Registry, ValuesKeepTypeAndBytes) {
    std::vector<BYTE> binary;
    for (int i = 0; i < 100; ++i) binary.push_back(static_cast<BYTE>(i * 37));
    const struct {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {"Expand", REG_EXPAND_SZ, Bytes("%SystemRoot%\\x", 15)},
        {"Multi", REG_MULTI_SZ, Bytes("a\0bc\0", 6)},
        {"Number", REG_DWORD, {0x2a, 0, 0, 0x80}},
        {"Short number", REG_DWORD, {1, 2}},
        {"Quad", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"Binary", REG_BINARY, binary},
        {"Text with \"quotes\" and \\", REG_SZ, Bytes("C:\\dir \"q\" \\\\", 14)},
        {"Line\nbreaks", REG_SZ, Bytes("one\r\ntwo\n", 10)},
        {"Embedded NUL", REG_SZ, Bytes("a\0b", 4)},
        {"Nothing", REG_NONE, {}},
        {"Own type", 0x12345, {9}},
    };
    for (const auto& c : cases) Set(key, c.name, c.type, c.data);
    // Read back after all were written, so that no write spoils another.
    for (const auto& c : cases) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &size)) << c.name;
        EXPECT_EQ(c.type, type) << c.name;
        std::vector<BYTE> data(size);
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, c.name, nullptr, &type, data.data(), &size)) << c.name;
        EXPECT_EQ(c.data, data) << c.name;
    }
}

TEST_F(Registry, ValueNamesIgnoreCase) {
    SetText(key, "MiXed", "first");
    SetText(key, "mixed", "second");
    EXPECT_EQ("second", Text(key, "MIXED"));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "MIXED", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4));
    DWORD type = REG_NONE;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "mixed", nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
}

TEST_F(Registry, HandlesWriteOnlyWithSetValueRight) {
    MakeSubkey("Sub", "sub");
    const std::string sub = path + "\\Sub";
    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, KEY_READ, &reader));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(reader, "id", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ("sub", Text(reader, "id"));
    RegCloseKey(reader);

    HKEY writer = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, KEY_SET_VALUE, &writer));
    SetText(writer, "id", "written");
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExA(writer, "id", nullptr, nullptr, nullptr, &size));
    RegCloseKey(writer);

    HKEY plain = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, sub.c_str(), &plain));
    SetText(plain, "id", "by RegOpenKeyA");
    EXPECT_EQ("by RegOpenKeyA", Text(plain, "id"));
    RegCloseKey(plain);

    HKEY created = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    SetText(created, "id", "by RegCreateKeyExA");
    EXPECT_EQ("by RegCreateKeyExA", Text(created, "id"));
    RegCloseKey(created);
}

TEST_F(Registry, ClosedAndNullHandlesAreInvalid) {
    HKEY closed = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &closed, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(closed));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));

    for (HKEY bad : {closed, static_cast<HKEY>(nullptr)}) {
        HKEY opened = kNotAKey;
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(bad, "x", 0, KEY_READ, &opened));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCreateKeyExA(bad, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr));
        DWORD size = 0;
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(bad, "x", nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExA(bad, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteTreeA(bad, "x"));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(bad));
    }
}

TEST_F(Registry, DeleteTreeRemovesAKeyAndAllBelow) {
    HKEY deep = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key, "Tree\\A\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep, nullptr));
    SetText(deep, "id", "deep");
    MakeSubkey("Tree", "tree");
    MakeSubkey("Treetop", "sibling");  // shares the name's beginning, must stay
    SetText(key, "id", "kept");

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(key, "TREE"));
    for (const char* gone : {"Tree", "Tree\\A", "Tree\\A\\B"}) {
        HKEY opened = kNotAKey;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key, gone, 0, KEY_READ, &opened)) << gone;
    }
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeA(key, "Tree"));
    EXPECT_EQ("kept", Text(key, "id"));
    HKEY sibling = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, "Treetop", 0, KEY_READ, &sibling));
    EXPECT_EQ("sibling", Text(sibling, "id"));
    RegCloseKey(sibling);

    // An open handle to a deleted key reports it.
    DWORD size = 0;
    EXPECT_EQ(1018, RegQueryValueExA(deep, "id", nullptr, nullptr, nullptr, &size));  // ERROR_KEY_DELETED
    EXPECT_EQ(1018, RegSetValueExA(deep, "id", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(deep));

    // No subkey: the key's values and subkeys go, the key itself stays.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(key, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "id", nullptr, nullptr, nullptr, &size));
    HKEY opened = kNotAKey;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key, "Treetop", 0, KEY_READ, &opened));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &opened));
    RegCloseKey(opened);
}

TEST_F(Registry, MachineSoftwareHasA32BitView) {
    const std::string name = std::string("CompatRegistryTest_") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string software = "Software\\" + name;
    // The 32-bit view's key by its name in the 64-bit view.
    const std::string wow = "Software\\Wow6432Node\\" + name;
    const bool process32 = sizeof(void*) == 4;
    // Deletes name under parent, both as the 64-bit view names them: a
    // handle's subkeys are looked up in the handle's own view.
    auto remove = [&name](const char* parent) {
        HKEY key = nullptr;
        LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key);
        if (status != ERROR_SUCCESS) return status;
        status = RegDeleteTreeA(key, name.c_str());
        RegCloseKey(key);
        return status;
    };
    remove("Software");
    remove("Software\\Wow6432Node");

    HKEY made = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, software.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &made, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    SetText(made, "view", "32");
    RegCloseKey(made);

    const struct {
        std::string path;
        REGSAM view;
        LONG status;
    } cases[] = {
        {software, KEY_WOW64_32KEY, ERROR_SUCCESS},
        {"SOFTWARE\\" + name, KEY_WOW64_32KEY, ERROR_SUCCESS},
        {software, KEY_WOW64_64KEY, ERROR_FILE_NOT_FOUND},
        {wow, KEY_WOW64_64KEY, ERROR_SUCCESS},
        // No view asked for: the process's own.
        {software, 0, process32 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        HKEY opened = kNotAKey;
        ASSERT_EQ(c.status, RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path.c_str(), 0, KEY_READ | c.view, &opened))
            << c.path << " view " << c.view;
        if (c.status != ERROR_SUCCESS) continue;
        EXPECT_EQ("32", Text(opened, "view")) << c.path;
        RegCloseKey(opened);
    }

    // And a key of the 64-bit view is not seen in the 32-bit one.
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, (software + "\\Only64").c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &made, nullptr));
    RegCloseKey(made);
    HKEY opened = kNotAKey;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, (software + "\\Only64").c_str(), 0,
                                                  KEY_READ | KEY_WOW64_32KEY, &opened));

    EXPECT_EQ(ERROR_SUCCESS, remove("Software\\Wow6432Node"));
    EXPECT_EQ(ERROR_SUCCESS, remove("Software"));
}

}  // namespace
