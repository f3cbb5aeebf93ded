// The profile functions as the library calls them. The same program runs
// natively over compat/ and under Wine, whose functions are the reference.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/Sandbox.h"

namespace {

class Profile : public ::testing::Test {
protected:
    std::string Read(const char* section, const char* key, const char* defaultText = "(default)",
                     DWORD size = 256, DWORD* length = nullptr) const {
        char text[256];
        memset(text, '#', sizeof text);
        DWORD got = GetPrivateProfileStringA(section, key, defaultText, text, size, file.c_str());
        if (length) *length = got;
        return std::string(text, strnlen(text, sizeof text));
    }

    Sandbox sandbox;
    std::string file = sandbox.Path("test.ini");
};

TEST_F(Profile, ReadsTrimmedUnquotedValuesWithoutRegardToCase) {
    WriteFileText(file,
              "; comment\r\n"
              "  [ Main ]  trailing\r\n"
              "  Key  =  value with  blanks  \r\n"
              "Tabbed\t=\tvalue\t\r\n"
              "Double=\"  quoted  \"\r\n"
              "Single='x'\r\n"
              "Unbalanced=\"open\r\n"
              "Inner=a \"b\" c\r\n"
              "Split=a=b\r\n"
              "Empty=\r\n"
              "NoEquals\r\n"
              "Dup=first\r\n"
              "dup=second\r\n"
              "# not=comment\n"
              "[main]\r\n"
              "Later=hidden\r\n"
              "[Other]\r"
              "Last=no line end");
    struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"Main", "Key", "value with  blanks"}, {"MAIN", "key", "value with  blanks"},
        {" Main ", " Key ", "value with  blanks"}, {"Main", "Tabbed", "value"},
        {"Main", "Double", "  quoted  "},      {"Main", "Single", "x"},
        {"Main", "Unbalanced", "\"open"},      {"Main", "Inner", "a \"b\" c"},
        {"Main", "Split", "a=b"},              {"Main", "Empty", ""},
        {"Main", "NoEquals", "(default)"},     {"Main", "Dup", "first"},
        {"Main", "# not", "comment"},          {"Main", "Later", "(default)"},
        {"Other", "Last", "no line end"},      {"Missing", "Key", "(default)"},
        {"Main", "Missing", "(default)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        DWORD length = 0;
        EXPECT_EQ(Read(c.section, c.key, "(default)", 256, &length), c.value);
        EXPECT_EQ(length, strlen(c.value));
    }
}

TEST_F(Profile, CutsToTheCapacityAndTheDefaultsTrailingBlanks) {
    WriteFileText(file, "[S]\r\nK=abcdef\r\n");
    DWORD length = 0;
    EXPECT_EQ(Read("S", "K", "", 4, &length), "abc");
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(Read("S", "K", "", 1, &length), "");
    EXPECT_EQ(length, 0u);
    char untouched[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", untouched, 0, file.c_str()), 0u);
    EXPECT_EQ(untouched[0], '#');
    EXPECT_EQ(Read("S", "None", "  lead\tand trail  ", 256, &length), "  lead\tand trail");
    EXPECT_EQ(Read("S", "None", nullptr), "");
    EXPECT_EQ(Read("S", "None", "long default", 5), "long");
    std::string missing = sandbox.Path("missing.ini");
    char text[16];
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "dflt", text, sizeof text, missing.c_str()), 4u);
    EXPECT_STREQ(text, "dflt");
}

TEST_F(Profile, WritesCreateReplaceAndDelete) {
    ASSERT_TRUE(WritePrivateProfileStringA("App", "key", "value", file.c_str()));
    EXPECT_EQ(ReadFileText(file), "[App]\r\nkey=value\r\n");
    EXPECT_TRUE(WritePrivateProfileStringA("APP", "KEY", "changed", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("App", "second", "", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("Next", "k", "v", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("App", "third", "3", file.c_str()));
    // Names keep their first spelling; new keys follow their section's last.
    EXPECT_EQ(ReadFileText(file), "[App]\r\nkey=changed\r\nsecond=\r\nthird=3\r\n[Next]\r\nk=v\r\n");
    EXPECT_EQ(Read("App", "second"), "");

    EXPECT_TRUE(WritePrivateProfileStringA("App", "second", nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA("App", "absent", nullptr, file.c_str()));
    EXPECT_EQ(Read("App", "second"), "(default)");
    EXPECT_TRUE(WritePrivateProfileStringA("App", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(Read("App", "key"), "(default)");
    EXPECT_EQ(Read("Next", "k"), "v");
    EXPECT_EQ(ReadFileText(file).find("[App]"), std::string::npos);

    // A value in quotes comes back without them.
    EXPECT_TRUE(WritePrivateProfileStringA("Next", "padded", "\"  x  \"", file.c_str()));
    EXPECT_EQ(Read("Next", "padded"), "  x  ");
}

TEST_F(Profile, WritesFailWithoutAFolderOrASection) {
    std::string lost = sandbox.Path("no folder\\x.ini");
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "v", lost.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "K", "v", file.c_str()));
    EXPECT_EQ(ReadFileText(file), "");
    // Deleting from a file that does not exist creates nothing.
    EXPECT_TRUE(WritePrivateProfileStringA("S", "K", nullptr, file.c_str()));
    EXPECT_FALSE(std::ifstream(file).good());
}

TEST_F(Profile, AReadOnlyFileIsWrittenOnlyWhereItCouldBeOpenedForWriting) {
    // As the runtime's own open answers: refused to a user, while the
    // administrator (root under Wine) writes it.
    WriteFileText(file, "[S]\r\nK=v\r\n");
    const auto writable = std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                          std::filesystem::perms::others_write;
    std::filesystem::permissions(file, writable, std::filesystem::perm_options::remove);
    FILE* probe = fopen(file.c_str(), "r+b");
    const bool mayWrite = probe != nullptr;
    if (probe) fclose(probe);
    SetLastError(0);
    EXPECT_EQ(WritePrivateProfileStringA("S", "K", "changed", file.c_str()) != FALSE, mayWrite);
    if (!mayWrite) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(Read("S", "K"), mayWrite ? "changed" : "v");
    std::filesystem::permissions(file, writable, std::filesystem::perm_options::add);
}

TEST_F(Profile, AByteOrderMarkIsSkippedOnReadingAndKeptOnWriting) {
    WriteFileText(file, "\xEF\xBB\xBF[S]\r\nK=v\r\n");
    EXPECT_EQ(Read("S", "K"), "v");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K2", "w", file.c_str()));
    EXPECT_EQ(ReadFileText(file), "\xEF\xBB\xBF[S]\r\nK=v\r\nK2=w\r\n");
    EXPECT_EQ(Read("S", "K2"), "w");
}

TEST(ProfileName, WithoutAFolderLivesInTheWindowsFolder) {
    Sandbox sandbox;
    // Natively the Windows folder is the sandbox; under Wine the prefix's.
    SetEnvironmentVariableA("COMPAT_WINDIR", sandbox.Root().c_str());
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
    const std::string full = std::string(windows) + "\\GenProfileTest.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "in windows", "GenProfileTest.ini"));
    char text[32];
    GetPrivateProfileStringA("S", "K", "", text, sizeof text, full.c_str());
    EXPECT_STREQ(text, "in windows");
    GetPrivateProfileStringA("s", "k", "", text, sizeof text, "GenProfileTest.ini");
    EXPECT_STREQ(text, "in windows");
    std::remove(full.c_str());
    SetEnvironmentVariableA("COMPAT_WINDIR", nullptr);
}

}  // namespace
