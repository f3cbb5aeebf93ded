#include "gen/Ini.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Raises.h"
#include "gen/Err.h"
#include "gen/Path.h"
#include "gen/Pathw32.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"

namespace {

const char kRegistryKey[] = "Software\\GenIniTest";

std::string Parsed(const Str& s) { return s.data ? s.data : "(absent)"; }

// A bound settings file Korvel.INI in a fresh folder whose name the ANSI
// code page lacks; natively the registry is a file of the test's own.
class Store : public ::testing::Test {
protected:
    void SetUp() override {
        sandbox.Folder(kFolder);
        SetEnvironmentVariableA("COMPAT_REGISTRY", sandbox.Path("registry.reg").c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
        BindSettingsFile(ini.c_str(), false, true);
    }
    void TearDown() override {
        UnbindSettingsFile();
        RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
        SetEnvironmentVariableA("COMPAT_REGISTRY", nullptr);
    }
    std::string Stored(const char* section, const char* key) const { return ProfileText(ini, section, key); }
    // The test's registry key, created; the caller closes it.
    static HKEY CreatedKey() {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    static constexpr const char* kFolder = "Ωmega данные 日本語";
    Sandbox sandbox;
    std::string ini = sandbox.Path(std::string(kFolder) + "/Korvel.INI");
};

// The file's read-only attribute (natively: its write permissions).
void SetReadOnly(const std::string& path, bool readOnly) {
#ifdef _WIN32
    SetFileAttributesA(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
    chmod(path.c_str(), readOnly ? 0444 : 0644);
#endif
}

struct PathCase {
    const char* path;
    const char* callerDefault;
    char valueKind, missingRule, languageFlag;
    const char *file, *section, *key, *defaultValue;  // "(absent)": no default
};

const PathCase kPaths[] = {
    {"Internet|MAutomated", nullptr, 0, '+', 0, "Korvel.INI", "Internet", "MAutomated", "(absent)"},
    {"Internet|MAutomated|", nullptr, 0, '=', 0, "Korvel.INI", "Internet", "MAutomated", ""},
    {"Options|Language||%s|%s|%s", nullptr, 0, '=', 0, "Korvel.INI", "Options", "Language", "|%s|%s|%s"},
    {"?Assert|84 gen/ini.cpp|", nullptr, 0, '?', 0, "Korvel.INI", "Assert", "84 gen/ini.cpp", ""},
    {"Report|Assert|Asserted at %s %d%s", nullptr, 0, '=', 0, "Korvel.INI", "Report", "Assert", "Asserted at %s %d%s"},
    {"|WIN.INI|MAIL|MAPI", nullptr, 0, '+', 0, "WIN.INI", "MAIL", "MAPI", "(absent)"},
    {"|HKEY_CURRENT_USER|Software\\Korvel|Installation path", nullptr, 0, '+', 0, "HKEY_CURRENT_USER",
     "Software\\Korvel", "Installation path", "(absent)"},
    {"Sec|Key", nullptr, 0, '+', 0, "Korvel.INI", "Sec", "Key", "(absent)"},
    {"+Sec|Key|x", nullptr, 0, '=', 0, "Korvel.INI", "Sec", "Key", "x"},
    {"?Sec|Key|x", nullptr, 0, '?', 0, "Korvel.INI", "Sec", "Key", "x"},
    {"Sec|!Key|", nullptr, '!', '=', 0, "Korvel.INI", "Sec", "Key", ""},
    {"!Sec|@Key|", nullptr, '@', '=', 0, "Korvel.INI", "Sec", "Key", ""},
    // Flags from all three places, the later winning.
    {"!?`Sec|=@Key|d", nullptr, '@', '=', '`', "Korvel.INI", "Sec", "Key", "d"},
    {"=Sec|?Key", nullptr, 0, '?', 0, "Korvel.INI", "Sec", "Key", "(absent)"},
    {"|!x.ini|S|K", nullptr, 0, '+', 0, "!x.ini", "S", "K", "(absent)"},
    {"Sec|Key|abc", "xyz", 0, '=', 0, "Korvel.INI", "Sec", "Key", "xyz"},
    {"Sec|Key", "", 0, '=', 0, "Korvel.INI", "Sec", "Key", ""},
    {"|f|s|", nullptr, 0, '+', 0, "f", "s", "", "(absent)"},
    {"Se%sc|K%d|5%%", nullptr, 0, '=', 0, "Korvel.INI", "Se%sc", "K%d", "5%%"},
    {"Sec|K!ey|a|b", nullptr, 0, '=', 0, "Korvel.INI", "Sec", "K!ey", "a|b"},
    // Fewer than three separators: the missing fields are empty.
    {"|f|s", nullptr, 0, '+', 0, "f", "s", "", "(absent)"},
    {"|f", nullptr, 0, '+', 0, "f", "", "", "(absent)"},
    {"|", nullptr, 0, '+', 0, "", "", "", "(absent)"},
    {"?", nullptr, 0, '?', 0, "Korvel.INI", "", "", "(absent)"},
};

TEST(SettingPath, ParsesFieldsFlagsAndDefaults) {
    BindSettingsFile("Korvel.INI", false, true);
    for (const PathCase& c : kPaths) {
        SCOPED_TRACE(c.path);
        SettingPath record = ParseSettingPath(c.path, c.callerDefault);
        EXPECT_EQ(record.valueKind, c.valueKind);
        EXPECT_EQ(record.missingRule, c.missingRule);
        EXPECT_EQ(record.languageFlag, c.languageFlag);
        EXPECT_EQ(Parsed(record.file), c.file);
        EXPECT_EQ(Parsed(record.section), c.section);
        EXPECT_EQ(Parsed(record.key), c.key);
        EXPECT_EQ(Parsed(record.defaultValue), c.defaultValue);
        EXPECT_FALSE(record.found);
    }
    UnbindSettingsFile();
}

TEST(SettingPath, UnboundRelativePathsNameTheFileWithoutName) {
    UnbindSettingsFile();
    SettingPath record = ParseSettingPath("?Sec|Key|d", nullptr);
    EXPECT_EQ(Parsed(record.file), "");
    EXPECT_EQ(Parsed(record.section), "Sec");
    EXPECT_EQ(Parsed(record.key), "Key");
    EXPECT_EQ(Parsed(record.defaultValue), "d");
    // Reads give the rule's result; nothing is stored anywhere.
    EXPECT_STREQ(ReadSetting("?Sec|Key|d").data, "d");
    EXPECT_STREQ(ReadSetting("Sec|Key|d").data, "d");
    EXPECT_STREQ(ReadSetting("Sec|Key").data, " [Sec] Key= not found");
    EXPECT_STREQ(ReadSetting("`Sec|Key|d").data, "d");
}

TEST(SettingPath, PercentInTheBoundFileNameIsACharacter) {
    BindSettingsFile("C:\\100%\\%APPDATA%\\K.INI", false, true);
    EXPECT_STREQ(PathPrefix.data, "|C:\\100%%\\%%APPDATA%%\\K.INI|%s");
    SettingPath record = ParseSettingPath("S|K|%d", nullptr);
    EXPECT_STREQ(record.file.data, "C:\\100%\\%APPDATA%\\K.INI");
    EXPECT_STREQ(record.defaultValue.data, "%d");
    {
        ScopedSettingPrefix nested("Sub|%s");
        EXPECT_STREQ(ParseSettingPath("K|v", nullptr).file.data, "C:\\100%\\%APPDATA%\\K.INI");
        EXPECT_STREQ(ParseSettingPath("K|v", nullptr).section.data, "Sub");
    }
    // Without '%' the prefix is exactly the described one.
    BindSettingsFile("Korvel.INI", false, true);
    EXPECT_STREQ(PathPrefix.data, "|Korvel.INI|%s");
    UnbindSettingsFile();
}

TEST(SettingPath, ScopedPrefixReplacesOrNestsAndRestores) {
    BindSettingsFile("Korvel.INI", false, true);
    {
        ScopedSettingPrefix section("Section|%s");
        EXPECT_STREQ(PathPrefix.data, "|Korvel.INI|Section|%s");
        SettingPath record = ParseSettingPath("K|v", nullptr);
        EXPECT_STREQ(record.section.data, "Section");
        EXPECT_STREQ(record.key.data, "K");
        EXPECT_STREQ(record.defaultValue.data, "v");
        {
            ScopedSettingPrefix other("|other.ini|%s");
            EXPECT_STREQ(PathPrefix.data, "|other.ini|%s");
        }
        EXPECT_STREQ(PathPrefix.data, "|Korvel.INI|Section|%s");
    }
    EXPECT_STREQ(PathPrefix.data, "|Korvel.INI|%s");
    UnbindSettingsFile();
}

TEST_F(Store, ReadsPresentEmptySentinelAndContinuedKeys) {
    WriteFileText(ini,
              "[S]\r\nEmpty=\r\nOdd=)(@*#_$)*R&\r\nLong1=one\r\nLong2=two\r\nLong4=four\r\n"
              "Both=itself\r\nBoth1=piece\r\nGap2=second\r\n");
    EXPECT_STREQ(ReadSetting("S|Empty|default").data, "");
    EXPECT_STREQ(ReadSetting("S|Odd").data, ")(@*#_$)*R&");
    EXPECT_STREQ(ReadSetting("S|Long").data, "one\ntwo\nfour");
    EXPECT_STREQ(ReadSetting("S|Both").data, "itself");
    EXPECT_STREQ(ReadSetting("?S|Gap|none").data, "none");
    const std::string expected = "Korvel.INI [Internet] MAutomated= not found";
    BindSettingsFile("Korvel.INI", false, true);
    EXPECT_EQ(ReadSetting("Internet|MAutomated").data, expected);
}

TEST_F(Store, ContinuedPiecesAreCutAtTheReadBuffer) {
    std::string text = "[S]\r\n";
    const std::string piece(1000, 'x');
    for (char suffix : std::string("123")) text += std::string("K") + suffix + "=" + piece + "\r\n";
    WriteFileText(ini, text);
    Str value = ReadSetting("S|K");
    // 1000 + 1 + 1000 + 1 + the 44 characters left of a 2046-character value.
    EXPECT_EQ(value.Length(), ReadBufferSize - 2);
    EXPECT_EQ(std::string(value.data).substr(0, 1001), piece + "\n");
    EXPECT_EQ(std::count(value.data, value.data + value.Length(), '\n'), 2);
}

TEST_F(Store, MissingValuesFollowTheirRule) {
    EXPECT_STREQ(ReadSetting("?S|A|quiet").data, "quiet");
    EXPECT_EQ(Stored("S", "A"), "(missing)");
    EXPECT_STREQ(ReadSetting("S|B|loud").data, "loud");
    EXPECT_EQ(Stored("S", "B"), "loud");
    EXPECT_STREQ(ReadSettingOr("S|C|ignored", Str("given")).data, "given");
    EXPECT_EQ(Stored("S", "C"), "given");
    EXPECT_EQ(ReadSettingNumber("S|Five", 5), 5);
    EXPECT_EQ(Stored("S", "Five"), "5");
    EXPECT_EQ(IncrementSettingNumber("S|Count", 0), 1);
    EXPECT_EQ(IncrementSettingNumber("S|Count", 0), 2);
    EXPECT_EQ(Stored("S", "Count"), "2");
    WriteFileText(ini, "[S]\r\nN=  -42xyz\r\nHuge=99999999999\r\n");
    EXPECT_EQ(ReadSettingNumber("S|N", 0), -42);
    EXPECT_EQ(ReadSettingNumber("S|Huge", 0), INT32_MAX);
}

TEST_F(Store, WritesStoreTheirForms) {
    WriteSetting("S|!Abc|ignored", "abc");
    EXPECT_EQ(Stored("S", "Abc"), "CADBBE3Dabc");
    WriteSetting("S|!Empty", "");
    EXPECT_EQ(Stored("S", "Empty"), "FFFFFFFF");
    WriteSetting("S|Plain|y", "x");
    EXPECT_EQ(Stored("S", "Plain"), "x");
    WriteSettingDefault("S|Plain|y");
    EXPECT_EQ(Stored("S", "Plain"), "y");
    WriteSettingDefault("S|Plain");
    EXPECT_EQ(Stored("S", "Plain"), "(missing)");
    WriteSettingFormat("S|Formatted", "%d-%s", 7, "up");
    EXPECT_EQ(Stored("S", "Formatted"), "7-up");
    WriteSettingNumber("S|Number", -12);
    EXPECT_EQ(Stored("S", "Number"), "-12");
    // Texts outside the ANSI code page, plain and check-summed.
    const char unicode[] = "Ωmega данные 日本語";
    WriteSetting("S|Unicode", unicode);
    EXPECT_EQ(Stored("S", "Unicode"), unicode);
    EXPECT_STREQ(ReadSetting("S|Unicode").data, unicode);
    WriteSetting("S|!UnicodeSum", unicode);
    EXPECT_EQ(Stored("S", "UnicodeSum"), ChecksumValue(unicode).data);
    EXPECT_STREQ(ReadSetting("S|!UnicodeSum").data, unicode);

    // Without a value nothing is stored under '!' or '@'.
    WriteSetting("S|!Kept", "v");
    WriteSettingDefault("S|!Kept");
    EXPECT_EQ(Stored("S", "Kept"), ChecksumValue("v").data);
    // Under '@' a character of 160 or above stores nothing.
    WriteSettingDefault("S|@High|caf\xe9");
    EXPECT_EQ(Stored("S", "High"), "(missing)");

    // Longer than a key reads: stored whole, read cut to 1023 characters.
    const std::string longText(1500, 'L');
    WriteSetting("S|Long", longText.c_str());
    EXPECT_NE(ReadFileText(ini).find("Long=" + longText + "\r\n"), std::string::npos);
    EXPECT_EQ(ReadSetting("S|Long").data, longText.substr(0, IniKeyCapacity - 1));
}

TEST_F(Store, CheckSummedAndScrambledValuesRoundTrip) {
    std::string all;
    for (int c = 32; c < 160; ++c) all += static_cast<char>(c);
    for (const std::string& text : {std::string("abc"), std::string(""), all, std::string("tab\tinside")}) {
        SCOPED_TRACE(text);
        WriteSetting("S|!Sum", text.c_str());
        EXPECT_EQ(ReadSetting("S|!Sum").data, text);
        WriteSetting("S|@Secret", text.c_str());
        EXPECT_EQ(ReadSetting("S|@Secret").data, text);
        std::string stored = Stored("S", "Secret");
        Str scrambled = ScrambleText(Str(text.c_str()));
        EXPECT_EQ(stored, ChecksumValue(scrambled.data).data);
        EXPECT_EQ(UnscrambleText(scrambled).data, text);
    }
}

TEST_F(Store, BrokenCheckSumsRaiseTheirAssertions) {
    WriteFileText(ini, "[S]\r\nWrong=12345678abc\r\nNone=xyz\r\n");
    struct {
        const char* path;
        const char* line;
    } cases[] = {{"S|!Wrong", "line 86"}, {"S|@Wrong", "line 86"}, {"S|!None", "line 84"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Raised raised = RaiseOf([&] { ReadSetting(c.path); });
        EXPECT_EQ(raised.identity, InternalTemplates[AssertionTemplate]);
        EXPECT_NE(raised.text.find("'..\\gen\\Ini.cpp' " + std::string(c.line)), std::string::npos) << raised.text;
    }
}

// Texts the profile functions would trim or unquote are stored in quotes of
// their own, so that this store and the platform read them whole.
TEST_F(Store, TextsWithOuterBlanksOrQuotesComeBackWhole) {
    const char* texts[] = {" lead", "trail ", "\tboth\t", "\"quoted\"", "'single'", "\"", "mid dle", "\"half"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        WriteSetting("S|Plain", text);
        EXPECT_STREQ(ReadSetting("S|Plain").data, text);
        EXPECT_EQ(Stored("S", "Plain"), text);
        WriteSetting("S|!Sum", text);
        EXPECT_STREQ(ReadSetting("S|!Sum").data, text);
        WriteSetting("S|@Secret", text);
        EXPECT_STREQ(ReadSetting("S|@Secret").data, text);
    }
    // Texts that come back whole are written as they are.
    WriteSetting("S|Plain", "mid dle");
    EXPECT_NE(ReadFileText(ini).find("Plain=mid dle\r\n"), std::string::npos);
    // About one text in a hundred scrambles to a trailing blank; all come back.
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        std::string text;
        for (int n = 0; n < 8; ++n) text += static_cast<char>(33 + random() % 94);
        WriteSetting("S|@Random", text.c_str());
        ASSERT_EQ(ReadSetting("S|@Random").data, text);
    }
}

TEST_F(Store, ByteArraysAreReadCheckedAndRepaired) {
    WriteFileText(ini, "[S]\r\nGood=0003 01 AB FF\r\nShort=0002 01 AB\r\n");
    unsigned char bytes[3] = {9, 9, 9};
    EXPECT_TRUE(ReadSettingBytes("S|Good", bytes, 3));
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0xAB);
    EXPECT_EQ(bytes[2], 0xFF);
    // A rejected array is a value all the same: it is left as it is.
    unsigned char repaired[3] = {1, 2, 3};
    EXPECT_FALSE(ReadSettingBytes("S|Short", repaired, 3));
    EXPECT_EQ(Stored("S", "Short"), "0002 01 AB");
    EXPECT_FALSE(ReadSettingBytes("?S|Missing", repaired, 3));
    EXPECT_EQ(Stored("S", "Missing"), "(missing)");
    EXPECT_FALSE(ReadSettingBytes("S|Fresh", repaired, 3));
    EXPECT_EQ(Stored("S", "Fresh"), "0003 01 02 03");
    WriteSettingBytes("S|None", bytes, 0);
    EXPECT_EQ(Stored("S", "None"), "0000");
    EXPECT_TRUE(ReadSettingBytes("S|None", bytes, 0));
}

// A value a read cannot take (longer than a read, not a string) is still a
// value: the read answers the default and leaves it; only where nothing is
// stored does '=' write the default.
TEST_F(Store, ReadsWriteTheDefaultOnlyWhereNothingIsStored) {
    HKEY key = CreatedKey();
    ASSERT_NE(key, nullptr);
    const std::string longText(1500, 'L');
    const DWORD number = 7;
    const struct {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
    } values[] = {
        {"Long", REG_SZ, longText.c_str(), static_cast<DWORD>(longText.size() + 1)},
        {"Expand", REG_EXPAND_SZ, "%TEMP%", 7},
        {"Number", REG_DWORD, &number, sizeof number},
    };
    const std::string path = std::string("|HKEY_CURRENT_USER|") + kRegistryKey + "|";
    for (const auto& v : values) {
        SCOPED_TRACE(v.name);
        RegSetValueExA(key, v.name, 0, v.type, static_cast<const BYTE*>(v.data), v.size);
        EXPECT_STREQ(ReadSetting((path + v.name + "|fallback").c_str()).data, "fallback");
        std::vector<BYTE> data(2048);
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        ASSERT_EQ(RegQueryValueExA(key, v.name, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, v.type);
        ASSERT_EQ(size, v.size);
        EXPECT_EQ(memcmp(data.data(), v.data, size), 0);
    }
    EXPECT_STREQ(ReadSetting((path + "Fresh|fallback").c_str()).data, "fallback");
    char fresh[16] = "";
    DWORD size = sizeof fresh;
    EXPECT_EQ(RegQueryValueExA(key, "Fresh", nullptr, nullptr, reinterpret_cast<BYTE*>(fresh), &size), ERROR_SUCCESS);
    EXPECT_STREQ(fresh, "fallback");
    RegCloseKey(key);

    // An empty value, one longer than a read, and one a byte read rejects.
    const std::string text = "[S]\r\nEmpty=\r\nLong=" + longText + "\r\nBytes=0002 01 AB\r\n";
    WriteFileText(ini, text);
    EXPECT_STREQ(ReadSetting("S|Empty|fallback").data, "");
    EXPECT_EQ(ReadSetting("S|Long|fallback").data, longText.substr(0, IniKeyCapacity - 1));
    unsigned char bytes[3] = {1, 2, 3};
    EXPECT_FALSE(ReadSettingBytes("S|Bytes", bytes, 3));
    EXPECT_EQ(ReadFileText(ini), text);
}

TEST_F(Store, WritesSayWhetherTheyWereStored) {
    const unsigned char bytes[2] = {1, 2};
    const struct {
        const char* name;
        bool (*write)(const char* path);
    } writes[] = {
        {"WriteSetting", [](const char* path) { return WriteSetting(path, "v"); }},
        {"WriteSettingDefault", [](const char* path) { return WriteSettingDefault((std::string(path) + "|d").c_str()); }},
        {"WriteSettingFormat", [](const char* path) { return WriteSettingFormat(path, "%d-%s", 7, "up"); }},
        {"WriteSettingNumber", [](const char* path) { return WriteSettingNumber(path, -12); }},
        {"WriteSettingBytes", [](const char* path) {
             const unsigned char two[2] = {1, 2};
             return WriteSettingBytes(path, two, 2);
         }},
    };
    // A folder that does not exist, named in a script the ANSI code page lacks.
    const std::string lost = "|" + sandbox.Path("Λείπει Нет 無い/K.INI") + "|S|K";
    const std::string stored = "|" + ini + "|S|K";
    const std::string registry = std::string("|HKEY_CURRENT_USER|") + kRegistryKey + "|K";
    for (const auto& w : writes) {
        SCOPED_TRACE(w.name);
        EXPECT_TRUE(w.write(stored.c_str()));
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(w.write(lost.c_str()));
        EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
        // The registry key does not exist: it is not created.
        EXPECT_FALSE(w.write(registry.c_str()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_EQ(ReadFileText(sandbox.Path("Λείπει Нет 無い/K.INI")), "");
    EXPECT_TRUE(WriteSettingDefault(stored.c_str()));  // removes the key
    EXPECT_EQ(Stored("S", "K"), "(missing)");
    // Nothing to store: no value under '!', or none at all for the registry.
    EXPECT_FALSE(WriteSettingDefault("S|!K"));
    EXPECT_FALSE(WriteSettingBytes("S|B", bytes, -1));
    UnbindSettingsFile();
    EXPECT_FALSE(WriteSetting("S|K", "v"));
    BindSettingsFile(ini.c_str(), false, true);

}

TEST_F(Store, AWriteToAReadOnlyFileIsNotStored) {
    const std::string locked = sandbox.Path("Locked.INI");
    WriteFileText(locked, "[S]\r\nK=old\r\n");
    SetReadOnly(locked, true);
    if (FILE* probe = fopen(locked.c_str(), "r+")) {
        fclose(probe);
        SetReadOnly(locked, false);
        GTEST_SKIP() << "the platform lets this process write a read-only file (root on Linux, also under Wine)";
    }
    EXPECT_FALSE(WriteSetting(("|" + locked + "|S|K").c_str(), "new"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ProfileText(locked, "S", "K"), "old");
    SetReadOnly(locked, false);
}

// What an INI file cannot hold: a value on more than one line, a key or
// section the profile functions would not find again under its own name.
struct UnheldCase {
    const char *section, *key, *value;
};
const UnheldCase kUnheld[] = {
    {"S", "New", "x\r\n[Admin]\r\nEnabled=1"},
    {"S", "New", "line\nfeed"},
    {"S", "New", "carriage\rreturn"},
    {"S", "a=b", "v"},
    {"S", ";k", "v"},
    {"S", "[k", "v"},
    {"S", "k\r\n[Admin]\r\nEnabled", "1"},
    {"S", " k", "v"},
    {"S", "k\t", "v"},
    {"S", "", "v"},
    {"S]", "K", "v"},
    {"S]\r\nEnabled=1\r\n[T", "K", "v"},
    {" S", "K", "v"},
    {"S\t", "K", "v"},
    {"", "K", "v"},
};

TEST_F(Store, WhatAnIniFileCannotHoldIsRefused) {
    const std::string before = "[S]\r\nK=kept\r\n";
    RegCloseKey(CreatedKey());
    for (const UnheldCase& c : kUnheld) {
        SCOPED_TRACE(testing::Message() << "[" << c.section << "] " << c.key << "=" << c.value);
        WriteFileText(ini, before);
        for (const char* kind : {"", "!", "@"}) {
            const std::string path = "|" + ini + "|" + c.section + "|" + kind + c.key;
            EXPECT_FALSE(WriteSetting(path.c_str(), c.value));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            EXPECT_FALSE(WriteSettingDefault((path + "|" + c.value).c_str()));
            // Read as often as you like: the default, and nothing written.
            for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadSetting((path + "|" + c.value).c_str()).data, std::string(c.value));
        }
        EXPECT_EQ(ReadFileText(ini), before);
        // The registry holds every one of them.
        const std::string value = std::string("|HKEY_CURRENT_USER|") + kRegistryKey + "|" + c.key;
        EXPECT_TRUE(WriteSetting(value.c_str(), c.value));
        EXPECT_EQ(ReadSetting(value.c_str()).data, std::string(c.value));
    }
}

// A read takes at most 1023 characters: a check-summed or scrambled text
// longer than that could never be read back.
TEST_F(Store, CheckSummedTextsLongerThanAReadAreRefused) {
    RegCloseKey(CreatedKey());
    // Stored with its check sum: 1023 characters. (Alternating, so that its
    // scrambled form has no blanks.)
    std::string fits;
    while (fits.size() < IniKeyCapacity - 1 - 8) fits += fits.size() % 2 ? 'b' : 'a';
    const std::string over = fits + "o";
    // An INI file holds a text with a trailing blank in quotes, of which a
    // read takes one character less.
    const std::string blank = fits.substr(1) + " ";
    const std::string blankFits = fits.substr(2) + " ";
    const std::string plain(1500, 'p');
    const std::string registry = std::string("|HKEY_CURRENT_USER|") + kRegistryKey + "|";
    for (const std::string& location : {"|" + ini + "|S|", registry}) {
        for (const char* kind : {"!", "@"}) {
            SCOPED_TRACE(location + kind);
            const std::string path = location + kind + "Value";
            EXPECT_TRUE(WriteSetting(path.c_str(), fits.c_str()));
            EXPECT_EQ(ReadSetting(path.c_str()).data, fits);
            EXPECT_FALSE(WriteSetting(path.c_str(), over.c_str()));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            EXPECT_EQ(ReadSetting(path.c_str()).data, fits);
            if (kind[0] == '!') {
                EXPECT_TRUE(WriteSetting(path.c_str(), blankFits.c_str()));
                EXPECT_EQ(ReadSetting(path.c_str()).data, blankFits);
                EXPECT_EQ(WriteSetting(path.c_str(), blank.c_str()), location == registry);
                EXPECT_EQ(ReadSetting(path.c_str()).data, location == registry ? blank : blankFits);
            }
            // A repair that could not be read back is not written either.
            EXPECT_EQ(ReadSetting((location + kind + "Fresh|" + over).c_str()).data, over);
            EXPECT_STREQ(ReadSetting((location + "?" + kind + "Fresh").c_str()).data, "");
        }
        // Plain texts are stored whole, whatever a read takes of them.
        EXPECT_TRUE(WriteSetting((location + "Plain").c_str(), plain.c_str()));
    }
    EXPECT_NE(ReadFileText(ini).find("Plain=" + plain + "\r\n"), std::string::npos);
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kRegistryKey, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Plain", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, plain.size() + 1);
    RegCloseKey(key);
}

TEST_F(Store, RegistryValuesAreStringsOfAnExistingKey) {
    const std::string path = std::string("|HKEY_CURRENT_USER|") + kRegistryKey + "|";
    WriteSetting((path + "Name").c_str(), "value");
    EXPECT_STREQ(ReadSetting((path + "?Name|missing").c_str()).data, "missing");  // no key made
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kRegistryKey, &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD number = 7;
    RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), sizeof number);
    WriteSetting((path + "!Name").c_str(), "abc");
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, strlen("CADBBE3Dabc") + 1);
    RegCloseKey(key);
    EXPECT_STREQ(ReadSetting((path + "!Name").c_str()).data, "abc");
    EXPECT_STREQ(ReadSetting((path + "?Number|counts as missing").c_str()).data, "counts as missing");
    // A registry path has no continuation keys and keeps outer blanks as they are.
    WriteSetting((path + "Padded").c_str(), " x ");
    EXPECT_STREQ(ReadSetting((path + "Padded").c_str()).data, " x ");
}

TEST_F(Store, BindingChecksTheFileAndLoadsTheLanguage) {
    WriteFileText(ini, "[Other]\r\nK=v\r\n");
    UnbindSettingsFile();
    Raised raised = RaiseOf([&] { BindSettingsFile(ini.c_str(), true, false); });
    EXPECT_EQ(raised.identity, SettingsFileNotFound);
    const std::string folders = std::string(CurrentFolder().data) + "; " + ModifyPath(ModuleFileName().data, "|.|").data +
                                "; " + UserDataFolder().data + "; " + WindowsFolder().data;
    EXPECT_EQ(raised.text, "File Korvel.INI not found in: " + folders);
    EXPECT_EQ(ReadFileText(ini), "[Other]\r\nK=v\r\n");

    BindSettingsFile(ini.c_str(), false, false);
    EXPECT_EQ(Stored("Options", "Language"), "|%s|%s|%s");
    EXPECT_STREQ(GetLanguagePath().data, "|%s|%s|%s");
    BindSettingsFile(ini.c_str(), true, false);  // the check passes now

    const std::string before = ReadFileText(ini);
    SetLanguagePath("|%s|%s|%s");
    EXPECT_EQ(ReadFileText(ini), before);
    SetLanguagePath("|%s.fr|%s|%s");
    EXPECT_EQ(Stored("Options", "Language"), "|%s.fr|%s|%s");

    // Skipping the language leaves both the path and the file alone.
    WriteSetting("Options|Language", "|%s.de|%s|%s");
    BindSettingsFile(ini.c_str(), true, true);
    EXPECT_STREQ(GetLanguagePath().data, "|%s.fr|%s|%s");
}

TEST_F(Store, LanguagePathRedirectsFlaggedReads) {
    WriteFileText(ini, "[Texts]\r\nHello=Hello\r\nOnly=own\r\n");
    WriteFileText(ini + ".fr", "[Texts]\r\nHello=Bonjour\r\n");
    SetLanguagePath("|%s.fr|%s|%s");
    EXPECT_STREQ(ReadSetting("`Texts|Hello").data, "Bonjour");
    EXPECT_STREQ(ReadSetting("Texts|Hello").data, "Hello");
    EXPECT_STREQ(ReadSetting("`Texts|Only").data, "own");
    // The read's own rule applies to a miss in both places.
    EXPECT_STREQ(ReadSetting("`?Texts|None|fallback").data, "fallback");
    // A stored path with other conversions is not used as a format.
    SetLanguagePath("|%s.fr|%d|%s%n");
    EXPECT_STREQ(ReadSetting("`Texts|Hello").data, "Hello");
    EXPECT_EQ(Stored("Options", "Language"), "|%s.fr|%d|%s%n");
}

TEST_F(Store, ConfiguredAssertionTextReplacesTheException) {
    WriteFileText(ini, "[Assert]\r\n86 gen/ini.cpp=The settings were changed by hand.\r\n");
    WriteSetting("S|Wrong", "12345678abc");
    InternalErrorExceptions::count = 0;
    BoxWatcher watcher;
    Raised raised = RaiseOf([&] { ReadSetting("S|!Wrong"); });
    std::vector<SeenBox> boxes = watcher.Stop();
    EXPECT_EQ(raised.identity, InternalTemplates[AssertionTemplate]);
    EXPECT_EQ(InternalErrorExceptions::count, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].text, "The settings were changed by hand.");
    // Without a configured text the exception is raised.
    WriteFileText(ini, "[S]\r\nNone=xyz\r\n");
    InternalErrorExceptions::count = 0;
    RaiseOf([&] { ReadSetting("S|!None"); });
    EXPECT_EQ(InternalErrorExceptions::count, 1);
}

// The byte-at-a-time definition.
uint32_t ReferenceCrc(const unsigned char* data, size_t length, uint32_t crc) {
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc;
}

TEST(Crc32, CheckValuesAndTheByteDefinition) {
    EXPECT_EQ(Crc32Update("123456789", 9, 0xFFFFFFFFu), 0x340BC6D9u);
    EXPECT_EQ(Crc32Update("abc", 3, 0xFFFFFFFFu), 0xCADBBE3Du);
    EXPECT_EQ(Crc32Update("", 0, 0xFFFFFFFFu), 0xFFFFFFFFu);
    std::mt19937 random(1);
    std::vector<unsigned char> data(3000);
    for (unsigned char& byte : data) byte = static_cast<unsigned char>(random());
    for (size_t offset : {0, 1, 3, 7}) {
        for (size_t length : {0, 1, 7, 8, 9, 63, 64, 159, 160, 161, 200, 1000, 2993}) {
            SCOPED_TRACE(testing::Message() << offset << "+" << length);
            uint32_t start = static_cast<uint32_t>(random());
            EXPECT_EQ(Crc32Update(data.data() + offset, length, start), ReferenceCrc(data.data() + offset, length, start));
        }
    }
}

TEST(HexXor, CapacityLimitsAndRoundTrip) {
    char out[700];
    memset(out, '#', sizeof out);
    EXPECT_EQ(HexXorEncode("", out, 10), out);
    EXPECT_EQ(out[0], '\0');
    memset(out, '#', sizeof out);
    EXPECT_EQ(HexXorDecode("", out, 10), out);
    EXPECT_EQ(out[0], '\0');
    for (int capacity : {0, -1}) {
        char one[2] = {'#', '#'};
        EXPECT_EQ(HexXorEncode("abc", one, capacity), one);
        EXPECT_EQ(one[0], '\0');
        EXPECT_EQ(one[1], '#');
        EXPECT_EQ(HexXorDecode("0102", one, capacity), one);
        EXPECT_EQ(one[0], '\0');
        EXPECT_EQ(one[1], '#');
    }
    char full[16];
    HexXorEncode("abc", full, 15);
    memset(out, '#', sizeof out);
    EXPECT_EQ(HexXorEncode("abc", out, 5), out + 5);
    EXPECT_EQ(std::string(out), std::string(full, 5));
    EXPECT_EQ(out[6], '#');
    EXPECT_EQ(strlen(full), 6u);
    char bytes[4];
    EXPECT_EQ(HexXorDecode(full, bytes, 2), bytes + 2);
    EXPECT_EQ(std::string(bytes), "ab");

    // Longer than the key: characters i and i + 255 meet the same key byte.
    std::string text(300, 'q');
    text[10] = text[265] = 'Z';
    EXPECT_EQ(HexXorEncode(text.c_str(), out, 650), out + 600);
    EXPECT_EQ(std::string(out + 20, 2), std::string(out + 530, 2));
    char back[301];
    HexXorDecode(out, back, 300);
    EXPECT_EQ(std::string(back), text);

    // Odd digits and pairs that are not hexadecimal.
    char key[4];
    HexXorEncode("\x01", key, 2);  // the first key byte XOR 1
    unsigned first = static_cast<unsigned>(strtoul(key, nullptr, 16)) ^ 1u;
    char odd[4];
    EXPECT_EQ(HexXorDecode("4", odd, 3), odd + 1);
    EXPECT_EQ(static_cast<unsigned char>(odd[0]), (4u ^ first) & 0xFF);
    EXPECT_EQ(HexXorDecode("4z", odd, 3), odd + 1);
    EXPECT_EQ(static_cast<unsigned char>(odd[0]), (4u ^ first) & 0xFF);
    EXPECT_EQ(HexXorDecode("zz", odd, 3), odd + 1);
    EXPECT_EQ(static_cast<unsigned char>(odd[0]), first);
}

}  // namespace
