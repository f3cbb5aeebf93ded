#include "gen/Version.h"

#include <strsafe.h>

#include <cstdio>

#include "gen/Pathw32.h"

namespace {

// Where a number piece of the long form is formatted.
const unsigned kNumberSize = 80;

char productName[ProductNameSize];

// Whether the long form describes the system: the NT family after NT 4.
bool Describable(const OSVERSIONINFOEXA& version) {
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 4;
}

OSVERSIONINFOA BasicVersion() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version;
}

const char* FamilyName(const OSVERSIONINFOA& version) {
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return version.dwMinorVersion == 0 ? "95" : "98";
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return "???";
    switch (version.dwMajorVersion) {
        case 7: return "8";
        case 6: return version.dwMinorVersion == 0 ? "Vista" : "7";
        case 5: return version.dwMinorVersion == 0 ? "2000" : "XP";
        default: return "NT";
    }
}

const char* EditionText(DWORD edition) {
    switch (edition) {
        case 1: return "Ultimate Edition";
        case 2: return "Home Basic Edition";
        case 3: return "Home Premium Edition";
        case 4: return "Enterprise Edition";
        case 6: return "Business Edition";
        case 7: return "Standard Edition";
        case 8: return "Datacenter Edition";
        case 9: return "Small Business Server";
        case 10: return "Enterprise Edition";
        case 11: return "Starter Edition";
        case 12: return "Datacenter Edition (core installation)";
        case 13: return "Standard Edition (core installation)";
        case 14: return "Enterprise Edition (core installation)";
        case 15: return "Enterprise Edition for Itanium-based Systems";
        case 17: return "Web Server Edition";
        case 18: return "Cluster Server Edition";
        case 25: return "Small Business Server Premium Edition";
        default: return "";
    }
}

// The 5.2 family: the product, then for servers the edition.
void AppendServer2003(const WindowsFacts& facts, char* name) {
    const OSVERSIONINFOEXA& v = facts.version;
    if (facts.serverR2 != 0)
        StringCchCatA(name, ProductNameSize, "Windows Server 2003 R2, ");
    else if (v.wSuiteMask == VER_SUITE_STORAGE_SERVER)
        StringCchCatA(name, ProductNameSize, "Windows Storage Server 2003");
    else if (v.wProductType == VER_NT_WORKSTATION && facts.architecture == PROCESSOR_ARCHITECTURE_AMD64)
        StringCchCatA(name, ProductNameSize, "Windows XP Professional x64 Edition");
    else
        StringCchCatA(name, ProductNameSize, "Windows Server 2003, ");

    if (v.wProductType == VER_NT_WORKSTATION) return;
    const char* edition = "";
    bool datacenter = (v.wSuiteMask & VER_SUITE_DATACENTER) != 0;
    bool enterprise = (v.wSuiteMask & VER_SUITE_ENTERPRISE) != 0;
    if (facts.architecture == PROCESSOR_ARCHITECTURE_IA64) {
        edition = datacenter   ? "Datacenter Edition for Itanium-based Systems"
                  : enterprise ? "Enterprise Edition for Itanium-based Systems"
                               : "";
    } else if (facts.architecture == PROCESSOR_ARCHITECTURE_AMD64) {
        edition = datacenter   ? "Datacenter x64 Edition"
                  : enterprise ? "Enterprise x64 Edition"
                               : "Standard x64 Edition";
    } else {
        edition = (v.wSuiteMask & VER_SUITE_COMPUTE_SERVER) ? "Compute Cluster Edition"
                  : datacenter                               ? "Datacenter Edition"
                  : enterprise                               ? "Enterprise Edition"
                  : (v.wSuiteMask & VER_SUITE_BLADE)         ? "Web Edition"
                                                             : "Standard Edition";
    }
    StringCchCatA(name, ProductNameSize, edition);
}

}  // namespace

bool IsWindowsNT() { return BasicVersion().dwPlatformId == VER_PLATFORM_WIN32_NT; }

bool IsNotWindowsNT() { return BasicVersion().dwPlatformId != VER_PLATFORM_WIN32_NT; }

Str WindowsVersionText() {
    OSVERSIONINFOA version = BasicVersion();
    return FormatStr("Win%s %d.%02d build %d %s", FamilyName(version),
                     static_cast<int>(version.dwMajorVersion), static_cast<int>(version.dwMinorVersion),
                     static_cast<int>(version.dwBuildNumber & 0xFFFF), version.szCSDVersion);
}

bool BuildProductName(const WindowsFacts& facts, char (&name)[ProductNameSize]) {
    const OSVERSIONINFOEXA& v = facts.version;
    name[0] = '\0';
    if (!Describable(v)) return false;

    StringCchCopyA(name, ProductNameSize, "Microsoft ");
    if (v.dwMajorVersion == 6 && v.dwMinorVersion <= 2) {
        if (v.dwMinorVersion == 0)
            StringCchCatA(name, ProductNameSize,
                          v.wProductType == VER_NT_WORKSTATION ? "Windows Vista " : "Windows Server 2008 ");
        else
            StringCchCatA(name, ProductNameSize, v.dwMinorVersion == 1 ? "Windows 7 " : "Windows 8 ");
        StringCchCatA(name, ProductNameSize, EditionText(facts.edition));
        if (facts.architecture == PROCESSOR_ARCHITECTURE_AMD64)
            StringCchCatA(name, ProductNameSize, ", 64-bit");
        else if (facts.architecture == PROCESSOR_ARCHITECTURE_INTEL)
            StringCchCatA(name, ProductNameSize, ", 32-bit");
    }
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 2) AppendServer2003(facts, name);
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 1) {
        StringCchCatA(name, ProductNameSize, "Windows XP ");
        StringCchCatA(name, ProductNameSize,
                      (v.wSuiteMask & VER_SUITE_PERSONAL) ? "Home Edition" : "Professional");
    }
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0) {
        StringCchCatA(name, ProductNameSize, "Windows 2000 ");
        StringCchCatA(name, ProductNameSize,
                      v.wProductType == VER_NT_WORKSTATION   ? "Professional"
                      : (v.wSuiteMask & VER_SUITE_DATACENTER) ? "Datacenter Server"
                      : (v.wSuiteMask & VER_SUITE_ENTERPRISE) ? "Advanced Server"
                                                              : "Server");
    }
    // The record's text may lack its terminator: only its 128 bytes are read.
    char servicePack[sizeof v.szCSDVersion + 1] = "";
    memcpy(servicePack, v.szCSDVersion, sizeof v.szCSDVersion);
    if (servicePack[0] != '\0') {
        StringCchCatA(name, ProductNameSize, " ");
        StringCchCatA(name, ProductNameSize, servicePack);
    }
    char build[kNumberSize];
    StringCchPrintfA(build, kNumberSize, " (build %d)", static_cast<int>(v.dwBuildNumber));
    StringCchCatA(name, ProductNameSize, build);
    return true;
}

Str WindowsProductName() {
    productName[0] = '\0';
    WindowsFacts facts = {};
    facts.version.dwOSVersionInfoSize = sizeof facts.version;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&facts.version))) return Str(productName);

    SYSTEM_INFO system = {};
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    using SystemInfoEntry = void(WINAPI*)(LPSYSTEM_INFO);
    FARPROC native = kernel ? GetProcAddress(kernel, "GetNativeSystemInfo") : nullptr;
    if (native)
        EntryAs<SystemInfoEntry>(native)(&system);
    else
        GetSystemInfo(&system);
    facts.architecture = system.wProcessorArchitecture;

    const OSVERSIONINFOEXA& v = facts.version;
    if (!Describable(v)) {
        // Written as the system's own sample does; a GUI program has no console.
        printf("This sample does not support this version of Windows.\n");
        return Str(productName);
    }
    if (v.dwMajorVersion == 6 && v.dwMinorVersion <= 2) {
        using ProductInfoEntry = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
        FARPROC productInfo = kernel ? GetProcAddress(kernel, "GetProductInfo") : nullptr;
        if (productInfo)
            EntryAs<ProductInfoEntry>(productInfo)(6, 0, 0, 0, &facts.edition);
    }
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 2) facts.serverR2 = GetSystemMetrics(SM_SERVERR2);
    BuildProductName(facts, productName);
    return Str(productName);
}
