// lstrlenA and the environment variable calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(LstrlenTest, CountsCharactersAndTakesNullAsEmpty) {
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrlenA(""), 0);
    EXPECT_EQ(lstrlenA("abc"), 3);
    EXPECT_EQ(lstrlenA("with blank\r\n"), 12);
}

class EnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SetEnvironmentVariableA(kName, "value")); }
    void TearDown() override { SetEnvironmentVariableA(kName, nullptr); }

    static void ExpectMissing(const char* name) {
        char buffer[16] = "untouched";
        SetLastError(0);
        EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 0u) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND)) << name;
    }

    static constexpr const char* kName = "CompatTestVariable";
};

TEST_F(EnvironmentTest, TooSmallABufferGetsTheSizeNeededAndStaysUntouched) {
    struct Case {
        DWORD size;
        DWORD expected;
        const char* contents;
    };
    // "value" is 5 characters: it needs 6 with its terminator.
    for (Case c : {Case{0, 6, "########"}, Case{1, 6, "########"}, Case{5, 6, "########"}, Case{6, 5, "value"},
                   Case{8, 5, "value"}}) {
        SCOPED_TRACE(c.size);
        char buffer[9] = "########";
        EXPECT_EQ(GetEnvironmentVariableA(kName, buffer, c.size), c.expected);
        EXPECT_STREQ(buffer, c.contents);
    }
    EXPECT_EQ(GetEnvironmentVariableA(kName, nullptr, 0), 6u);
}

TEST_F(EnvironmentTest, NamesIgnoreCase) {
    for (const char* name : {"COMPATTESTVARIABLE", "compattestvariable", "cOMPATtESTvARIABLE"}) {
        char buffer[16] = "";
        EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 5u) << name;
        EXPECT_STREQ(buffer, "value") << name;
    }
    // A change under another spelling replaces the variable, and so does removal.
    ASSERT_TRUE(SetEnvironmentVariableA("COMPATTESTVARIABLE", "changed"));
    char buffer[16] = "";
    EXPECT_EQ(GetEnvironmentVariableA(kName, buffer, sizeof buffer), 7u);
    EXPECT_STREQ(buffer, "changed");
    ASSERT_TRUE(SetEnvironmentVariableA("compattestvariable", nullptr));
    ExpectMissing(kName);
    ExpectMissing("COMPATTESTVARIABLE");
}

TEST_F(EnvironmentTest, MissingVariableIsEnvvarNotFound) {
    ExpectMissing("CompatTestNeverSet");
    ASSERT_TRUE(SetEnvironmentVariableA(kName, nullptr));
    ExpectMissing(kName);
}

TEST_F(EnvironmentTest, LongValuesComeBackWhole) {
    std::string value(3000, 'v');
    value += "end";
    ASSERT_TRUE(SetEnvironmentVariableA(kName, value.c_str()));
    EXPECT_EQ(GetEnvironmentVariableA(kName, nullptr, 0), value.size() + 1);
    std::string buffer(value.size() + 1, '#');
    EXPECT_EQ(GetEnvironmentVariableA(kName, &buffer[0], static_cast<DWORD>(buffer.size())), value.size());
    EXPECT_EQ(buffer.c_str(), value);
}

}  // namespace
