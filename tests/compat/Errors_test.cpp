// FormatMessageA with system texts. The texts themselves differ between
// Windows and Wine, so only their shape is checked.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
// The customer bit is set: no system has a text for it.
const DWORD kUnknownCode = 0x2000FFFFu;

bool EndsWithCrLf(const std::string& text) { return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0; }

TEST(FormatMessageTest, SystemTextsEndInCrLfAndReturnTheirLength) {
    for (DWORD code : {0u, 2u, 3u, 5u, 6u, 8u, 87u, 122u, 161u, 193u, 203u, 234u, 259u, 267u, 1400u}) {
        SCOPED_TRACE(code);
        char buffer[512];
        memset(buffer, '#', sizeof buffer);
        DWORD length = FormatMessageA(kFromSystem, nullptr, code, 0, buffer, sizeof buffer, nullptr);
        ASSERT_GT(length, 2u);
        EXPECT_EQ(strlen(buffer), length);
        EXPECT_TRUE(EndsWithCrLf(buffer)) << buffer;
    }
}

TEST(FormatMessageTest, InsertsAreKeptOnlyWhenIgnored) {
    char buffer[512];
    DWORD length = FormatMessageA(kFromSystem, nullptr, ERROR_BAD_EXE_FORMAT, 0, buffer, sizeof buffer, nullptr);
    ASSERT_GT(length, 0u);
    EXPECT_NE(strstr(buffer, "%1"), nullptr) << buffer;

    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_BAD_EXE_FORMAT, 0, buffer, sizeof buffer,
                             nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FormatMessageTest, AllocatedTextIsTheSameTextFreedWithLocalFree) {
    char expected[512];
    DWORD expectedLength = FormatMessageA(kFromSystem, nullptr, ERROR_FILE_NOT_FOUND,
                                          MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), expected, sizeof expected, nullptr);
    ASSERT_GT(expectedLength, 0u);

    char* text = nullptr;
    DWORD length = FormatMessageA(kFromSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, ERROR_FILE_NOT_FOUND,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
                                  nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(length, expectedLength);
    EXPECT_STREQ(text, expected);
    EXPECT_GE(LocalSize(text), length + 1u);
    EXPECT_EQ(LocalFree(text), nullptr);
}

TEST(FormatMessageTest, UnknownCodeFailsLeavingTheBufferAlone) {
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kFromSystem, nullptr, kUnknownCode, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
}

TEST(FormatMessageTest, TextMustFitWithItsTerminator) {
    char buffer[512];
    DWORD length = FormatMessageA(kFromSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer, sizeof buffer, nullptr);
    ASSERT_GT(length, 5u);
    for (DWORD size : {DWORD{1}, DWORD{5}, length}) {
        SCOPED_TRACE(size);
        SetLastError(0);
        EXPECT_EQ(FormatMessageA(kFromSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer, size, nullptr), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
    EXPECT_EQ(FormatMessageA(kFromSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer, length + 1, nullptr), length);
}

}  // namespace
