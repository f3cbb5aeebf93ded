#include "gen/Version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/Sandbox.h"

namespace {

struct SystemCase {
    const char* system;
    DWORD major, minor, build;
    WORD suite;
    BYTE productType;
    WORD architecture;
    DWORD edition;
    int serverR2;
    const char* servicePack;
    const char* name;  // the long form; "" where it gives up
};

const WORD kIntel = PROCESSOR_ARCHITECTURE_INTEL;
const WORD kIa64 = PROCESSOR_ARCHITECTURE_IA64;
const WORD kAmd64 = PROCESSOR_ARCHITECTURE_AMD64;
const BYTE kWorkstation = VER_NT_WORKSTATION;
const BYTE kServer = VER_NT_SERVER;

const SystemCase kSystems[] = {
    {"Vista", 6, 0, 6002, 0, kWorkstation, kIntel, 3, 0, "Service Pack 2",
     "Microsoft Windows Vista Home Premium Edition, 32-bit Service Pack 2 (build 6002)"},
    {"Server 2008", 6, 0, 6001, 0, kServer, kAmd64, 12, 0, "",
     "Microsoft Windows Server 2008 Datacenter Edition (core installation), 64-bit (build 6001)"},
    {"7", 6, 1, 7601, 0x100, kWorkstation, kAmd64, 1, 0, "Service Pack 1",
     "Microsoft Windows 7 Ultimate Edition, 64-bit Service Pack 1 (build 7601)"},
    {"8", 6, 2, 9200, 0x100, kWorkstation, kIntel, 48, 0, "",
     "Microsoft Windows 8 , 32-bit (build 9200)"},
    // No name, edition or width past 6.2, whatever the edition code.
    {"8.1", 6, 3, 9600, 0x100, kWorkstation, kAmd64, 1, 0, "", "Microsoft  (build 9600)"},
    {"10", 10, 0, 19045, 0x100, kWorkstation, kAmd64, 1, 0, "", "Microsoft  (build 19045)"},
    {"ARM edition not in the table", 6, 1, 7600, 0, kWorkstation, 12, 26, 0, "",
     "Microsoft Windows 7  (build 7600)"},
    {"Server 2003", 5, 2, 3790, 0, kServer, kIntel, 0, 0, "Service Pack 2",
     "Microsoft Windows Server 2003, Standard Edition Service Pack 2 (build 3790)"},
    {"Server 2003 R2", 5, 2, 3790, VER_SUITE_ENTERPRISE, kServer, kAmd64, 0, 1, "Service Pack 2",
     "Microsoft Windows Server 2003 R2, Enterprise x64 Edition Service Pack 2 (build 3790)"},
    {"Server 2003 web", 5, 2, 3790, VER_SUITE_BLADE, kServer, kIntel, 0, 0, "",
     "Microsoft Windows Server 2003, Web Edition (build 3790)"},
    {"Server 2003 cluster", 5, 2, 3790, VER_SUITE_COMPUTE_SERVER | VER_SUITE_DATACENTER, kServer,
     kIntel, 0, 0, "", "Microsoft Windows Server 2003, Compute Cluster Edition (build 3790)"},
    {"Server 2003 Itanium", 5, 2, 3790, VER_SUITE_DATACENTER, kServer, kIa64, 0, 0, "",
     "Microsoft Windows Server 2003, Datacenter Edition for Itanium-based Systems (build 3790)"},
    {"Server 2003 Itanium standard", 5, 2, 3790, 0, kServer, kIa64, 0, 0, "",
     "Microsoft Windows Server 2003,  (build 3790)"},
    {"Storage Server", 5, 2, 3790, VER_SUITE_STORAGE_SERVER, kServer, kIntel, 0, 0, "",
     "Microsoft Windows Storage Server 2003Standard Edition (build 3790)"},
    {"Storage Server with another suite bit", 5, 2, 3790,
     VER_SUITE_STORAGE_SERVER | VER_SUITE_ENTERPRISE, kServer, kIntel, 0, 0, "",
     "Microsoft Windows Server 2003, Enterprise Edition (build 3790)"},
    {"XP x64", 5, 2, 3790, 0, kWorkstation, kAmd64, 0, 0, "Service Pack 2",
     "Microsoft Windows XP Professional x64 Edition Service Pack 2 (build 3790)"},
    {"XP Home", 5, 1, 2600, VER_SUITE_PERSONAL, kWorkstation, kIntel, 0, 0, "Service Pack 3",
     "Microsoft Windows XP Home Edition Service Pack 3 (build 2600)"},
    {"XP Professional", 5, 1, 2600, 0, kWorkstation, kIntel, 0, 0, "",
     "Microsoft Windows XP Professional (build 2600)"},
    {"2000 Professional", 5, 0, 2195, VER_SUITE_DATACENTER, kWorkstation, kIntel, 0, 0, "",
     "Microsoft Windows 2000 Professional (build 2195)"},
    {"2000 Datacenter", 5, 0, 2195, VER_SUITE_DATACENTER | VER_SUITE_ENTERPRISE, kServer, kIntel,
     0, 0, "Service Pack 4", "Microsoft Windows 2000 Datacenter Server Service Pack 4 (build 2195)"},
    {"2000 Advanced Server", 5, 0, 2195, VER_SUITE_ENTERPRISE, kServer, kIntel, 0, 0, "",
     "Microsoft Windows 2000 Advanced Server (build 2195)"},
    {"2000 Server", 5, 0, 2195, 0, kServer, kIntel, 0, 0, "",
     "Microsoft Windows 2000 Server (build 2195)"},
    {"NT 4", 4, 0, 1381, 0, kWorkstation, kIntel, 0, 0, "Service Pack 6", ""},
    // The whole build number, not its low 16 bits.
    {"build above 16 bits", 5, 1, 0x10000 + 2600, 0, kWorkstation, kIntel, 0, 0, "",
     "Microsoft Windows XP Professional (build 68136)"},
};

WindowsFacts FactsOf(const SystemCase& c) {
    WindowsFacts facts = {};
    facts.version.dwOSVersionInfoSize = sizeof facts.version;
    facts.version.dwMajorVersion = c.major;
    facts.version.dwMinorVersion = c.minor;
    facts.version.dwBuildNumber = c.build;
    facts.version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    strcpy(facts.version.szCSDVersion, c.servicePack);
    facts.version.wSuiteMask = c.suite;
    facts.version.wProductType = c.productType;
    facts.architecture = c.architecture;
    facts.edition = c.edition;
    facts.serverR2 = c.serverR2;
    return facts;
}

TEST(BuildProductName, NamesEachSystemInWindowsOwnWords) {
    for (const SystemCase& c : kSystems) {
        SCOPED_TRACE(c.system);
        char name[ProductNameSize];
        memset(name, 'x', sizeof name);
        EXPECT_EQ(BuildProductName(FactsOf(c), name), *c.name != '\0');
        EXPECT_STREQ(name, c.name);
    }
}

TEST(BuildProductName, GivesUpOnThe9xFamily) {
    for (DWORD minor : {0u, 10u, 90u}) {
        SCOPED_TRACE(minor);
        WindowsFacts facts = FactsOf(kSystems[2]);
        facts.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        facts.version.dwMajorVersion = 4;
        facts.version.dwMinorVersion = minor;
        char name[ProductNameSize] = "old";
        EXPECT_FALSE(BuildProductName(facts, name));
        EXPECT_STREQ(name, "");
    }
}

TEST(BuildProductName, CutsWhatDoesNotFitAndReadsOnlyTheRecordsText) {
    // The longest pieces and a service pack text filling its whole field
    // without a terminator: the name stops at 255 characters.
    WindowsFacts facts = FactsOf(kSystems[11]);
    facts.serverR2 = 1;
    memset(facts.version.szCSDVersion, 'S', sizeof facts.version.szCSDVersion);
    char name[ProductNameSize];
    EXPECT_TRUE(BuildProductName(facts, name));
    std::string expected = "Microsoft Windows Server 2003 R2, Datacenter Edition for Itanium-based "
                           "Systems " +
                           std::string(128, 'S') + " (build 3790)";
    EXPECT_EQ(std::string(name), expected.substr(0, ProductNameSize - 1));
}

// The real calls, on a few systems: under Wine each probe copy gets its own
// Windows version through the prefix's per-program setting; natively compat
// claims the version COMPAT_WINDOWS_VERSION names. The systems chosen need
// no edition code: Wine's answer to that depends on how the prefix was made.
struct RealCase {
    const char* setting;
    const char* answers;
};

const RealCase kRealSystems[] = {
    {"winxp", "1\n0\nWinXP 5.01 build 2600 Service Pack 3\n"
              "Microsoft Windows XP Professional Service Pack 3 (build 2600)\n"},
    {"win2003", "1\n0\nWinXP 5.02 build 3790 Service Pack 2\n"
                "Microsoft Windows Server 2003, Standard x64 Edition Service Pack 2 (build 3790)\n"},
    {"win10", "1\n0\nWinNT 10.00 build 18362 \nMicrosoft  (build 18362)\n"},
    {"win98", "0\n1\nWin98 4.10 build 2222  A \n\n"},
};

TEST(WindowsProductName, DescribesTheRunningSystem) {
    Sandbox sandbox;
    for (const RealCase& c : kRealSystems) {
        SCOPED_TRACE(c.setting);
        std::string program = sandbox.Path(std::string("version-") + c.setting + ".exe");
        CopyProgram(HostPath(VERSION_PROBE), program);
#ifdef _WIN32
        std::string key = std::string("Software\\Wine\\AppDefaults\\version-") + c.setting + ".exe";
        HKEY settings = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &settings, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(settings, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.setting),
                       static_cast<DWORD>(strlen(c.setting) + 1));
        RegCloseKey(settings);
#else
        SetEnvironmentVariableA("COMPAT_WINDOWS_VERSION", c.setting);
#endif
        std::string out = sandbox.Path(std::string("answers-") + c.setting + ".txt");
        EXPECT_EQ(RunAndWait(program, "\"" + program + "\" " + out), 0);
        EXPECT_EQ(ReadFileText(out), c.answers);
    }
    SetEnvironmentVariableA("COMPAT_WINDOWS_VERSION", nullptr);
}

}  // namespace
