// The version, system information and module calls, and WinExec: the rules
// both Windows (Wine) and compat keep.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/Sandbox.h"

namespace {

TEST(GetVersionExA, FillsEitherRecordAndRefusesOtherSizes) {
    OSVERSIONINFOA basic = {};
    basic.dwOSVersionInfoSize = sizeof basic;
    EXPECT_TRUE(GetVersionExA(&basic));
    EXPECT_EQ(basic.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_GE(basic.dwMajorVersion, 5u);
    EXPECT_LT(strnlen(basic.szCSDVersion, sizeof basic.szCSDVersion), sizeof basic.szCSDVersion);

    OSVERSIONINFOEXA extended = {};
    extended.dwOSVersionInfoSize = sizeof extended;
    EXPECT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&extended)));
    EXPECT_EQ(extended.dwMajorVersion, basic.dwMajorVersion);
    EXPECT_EQ(extended.dwBuildNumber, basic.dwBuildNumber);
    EXPECT_NE(extended.wProductType, 0);

    OSVERSIONINFOEXA other = {};
    other.dwOSVersionInfoSize = sizeof other - 1;
    EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&other)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

template <class Function>
Function EntryOf(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(Kernel32, NamedEntriesAnswerAsTheDirectCalls) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    auto native = EntryOf<void(WINAPI*)(LPSYSTEM_INFO)>(kernel, "GetNativeSystemInfo");
    auto product = EntryOf<BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD)>(kernel, "GetProductInfo");
    ASSERT_NE(native, nullptr);
    ASSERT_NE(product, nullptr);

    SYSTEM_INFO byName = {}, direct = {};
    native(&byName);
    GetNativeSystemInfo(&direct);
    EXPECT_EQ(byName.wProcessorArchitecture, direct.wProcessorArchitecture);
    DWORD edition = 0xFFFF, directEdition = 0;
    EXPECT_TRUE(product(6, 0, 0, 0, &edition));
    EXPECT_TRUE(GetProductInfo(6, 0, 0, 0, &directEdition));
    EXPECT_EQ(edition, directEdition);

    EXPECT_EQ(GetProcAddress(kernel, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetSystemMetrics(SM_SERVERR2), 0);
    EXPECT_NE(GetDesktopWindow(), nullptr);
}

TEST(LoadLibraryA, FindsUrlDllInTheSystemFolderOnly) {
    char folder[MAX_PATH] = "";
    ASSERT_GT(GetSystemDirectoryA(folder, sizeof folder), 0u);
    HMODULE url = LoadLibraryA((std::string(folder) + "\\url.dll").c_str());
    ASSERT_NE(url, nullptr);
    EXPECT_NE(GetProcAddress(url, "FileProtocolHandler"), nullptr);
    EXPECT_TRUE(FreeLibrary(url));

    Sandbox sandbox;
    EXPECT_EQ(LoadLibraryA(sandbox.Path("url.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA("korvel-absent.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(WinExec, StartsAProgramOrSaysWhyNot) {
    Sandbox sandbox;
    std::string out = sandbox.Path("probe-out.txt");
    SetEnvironmentVariableA("COMPAT_PROBE_OUT", out.c_str());
    std::string line = "\"" + HostPath(CHILD_PROBE) + "\" one two";
    EXPECT_GT(WinExec(line.c_str(), SW_SHOWNORMAL), 31u);
    for (int i = 0; i < 200 && ReadFileText(out).find("[two]") == std::string::npos; ++i) Sleep(50);
    EXPECT_NE(ReadFileText(out).find("args=2\n[one]\n[two]"), std::string::npos);
    SetEnvironmentVariableA("COMPAT_PROBE_OUT", nullptr);

    EXPECT_EQ(WinExec(("\"" + sandbox.Path("absent.exe") + "\"").c_str(), SW_SHOWNORMAL), 2u);
}

}  // namespace
