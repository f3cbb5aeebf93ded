// The Windows and system folders and the program's own file name.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/Sandbox.h"

namespace {

typedef UINT(WINAPI* FolderCall)(LPSTR, UINT);

std::string Folder(FolderCall call) {
    char buffer[MAX_PATH + 1];
    UINT length = call(buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Both calls: the length when the text fits with its terminator, else the
// size needed, and nothing written past the size given.
TEST(FoldersTest, FolderCallsReportTheSizeNeededWhenTheBufferIsTooSmall) {
    for (FolderCall call : {&GetWindowsDirectoryA, &GetSystemDirectoryA}) {
        std::string folder = Folder(call);
        ASSERT_FALSE(folder.empty());
        SCOPED_TRACE(folder);
        const UINT length = static_cast<UINT>(folder.size());
        EXPECT_NE(folder.back(), '\\');
        EXPECT_NE(folder.back(), '/');

        char buffer[MAX_PATH + 2];
        for (UINT size : {0u, 1u, length}) {
            SCOPED_TRACE(size);
            memset(buffer, '#', sizeof buffer);
            EXPECT_EQ(call(buffer, size), length + 1);
            EXPECT_EQ(std::string(buffer + size, sizeof buffer - size), std::string(sizeof buffer - size, '#'));
        }
        memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(call(buffer, length + 1), length);
        EXPECT_EQ(std::string(buffer), folder);
    }
}

TEST(FoldersTest, SystemFolderIsTheWindowsFoldersSystem32) {
    std::string windows = Folder(&GetWindowsDirectoryA);
    std::string system = Folder(&GetSystemDirectoryA);
    ASSERT_GT(system.size(), windows.size() + 1);
    EXPECT_EQ(Lower(system.substr(0, windows.size())), Lower(windows));
    EXPECT_EQ(Lower(system.substr(windows.size() + 1)), "system32");
}

TEST(ModuleFileNameTest, NamesThisProgram) {
    char path[4096];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof path);
    EXPECT_EQ(strlen(path), length);
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
    EXPECT_EQ(std::filesystem::path(path).stem().string(), "compat_tests");
}

TEST(ModuleFileNameTest, TooSmallABufferGetsTheStartOfTheName) {
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 8u);
    char small[8];
    memset(small, '#', sizeof small);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small, 4), std::string(path, 4));
    EXPECT_EQ(std::string(small + 5, 3), "###");
}

// Restores the current folder the test found.
class CurrentDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        DWORD length = GetCurrentDirectoryA(sizeof start, start);
        ASSERT_GT(length, 0u);
        ASSERT_LT(length, sizeof start);
    }
    void TearDown() override { EXPECT_TRUE(SetCurrentDirectoryA(start)); }

    char start[4096];
    Sandbox sandbox;
};

TEST_F(CurrentDirectory, NeedsRoomForItsTerminatorAndEndsWithoutASeparator) {
    ASSERT_TRUE(SetCurrentDirectoryA(sandbox.Root().c_str()));
    const DWORD length = static_cast<DWORD>(sandbox.Root().size());
    char buffer[4096];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetCurrentDirectoryA(length, buffer), length + 1);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(GetCurrentDirectoryA(length + 1, buffer), length);
    EXPECT_EQ(std::string(buffer), sandbox.Root());
}

TEST_F(CurrentDirectory, AMissingFolderIsRefusedAndChangesNothing) {
    ASSERT_TRUE(SetCurrentDirectoryA(sandbox.Root().c_str()));
    EXPECT_FALSE(SetCurrentDirectoryA(sandbox.Path("absent").c_str()));
    char buffer[4096];
    ASSERT_GT(GetCurrentDirectoryA(sizeof buffer, buffer), 0u);
    EXPECT_EQ(std::string(buffer), sandbox.Root());
}

TEST(TempPath, EndsWithASeparatorAndReportsTheSizeNeeded) {
    char buffer[4096];
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof buffer);
    EXPECT_EQ(strlen(buffer), length);
    EXPECT_TRUE(buffer[length - 1] == '\\' || buffer[length - 1] == '/') << buffer;
    char small[4];
    EXPECT_GE(GetTempPathA(sizeof small, small), length + 1);
}

TEST(ModuleHandle, NoNameIsThisProgram) {
    HMODULE module = GetModuleHandleA(nullptr);
    ASSERT_NE(module, nullptr);
    char byHandle[4096], byNull[4096];
    ASSERT_GT(GetModuleFileNameA(module, byHandle, sizeof byHandle), 0u);
    ASSERT_GT(GetModuleFileNameA(nullptr, byNull, sizeof byNull), 0u);
    EXPECT_STREQ(byHandle, byNull);
}

}  // namespace
