// The Windows this host claims to be, and the little else the library asks
// about the system: processor architecture, edition, metrics, the desktop.
//
// Linux is no Windows, so compat claims one, named like Wine's version
// setting by COMPAT_WINDOWS_VERSION ("win10", "win7", "winxp", "win2003",
// "win98"); without it, or for another name, Windows 10. The numbers are
// those Wine reports for the same setting, so that a test can set the one
// and expect what the other gives. The processor architecture is the host's.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

struct Claimed {
    const char* name;
    DWORD major, minor, build, platform;
    const char* servicePack;
    WORD servicePackMajor;
    WORD suite;
    BYTE productType;
};

// Build numbers and service packs as Wine 8 gives them.
const Claimed kSystems[] = {
    {"win10", 10, 0, 18362, VER_PLATFORM_WIN32_NT, "", 0, 0x100, VER_NT_WORKSTATION},
    {"win7", 6, 1, 7601, VER_PLATFORM_WIN32_NT, "Service Pack 1", 1, 0x100, VER_NT_WORKSTATION},
    {"winxp", 5, 1, 2600, VER_PLATFORM_WIN32_NT, "Service Pack 3", 3, 0x100, VER_NT_WORKSTATION},
    {"win2003", 5, 2, 3790, VER_PLATFORM_WIN32_NT, "Service Pack 2", 2, 0x100, VER_NT_SERVER},
    {"win98", 4, 10, 0x040A08AE, VER_PLATFORM_WIN32_WINDOWS, " A ", 0, 0, 0},
};

const Claimed& System() {
    const char* name = getenv("COMPAT_WINDOWS_VERSION");
    if (name != nullptr) {
        for (const Claimed& system : kSystems)
            if (strcasecmp(system.name, name) == 0) return system;
    }
    return kSystems[0];
}

WORD HostArchitecture() {
#if defined(__x86_64__)
    return PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__i386__)
    return PROCESSOR_ARCHITECTURE_INTEL;
#elif defined(__aarch64__)
    return PROCESSOR_ARCHITECTURE_ARM64;
#else
    return PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
}

// Editions: PRODUCT_ULTIMATE_N for a workstation, PRODUCT_STANDARD_SERVER
// otherwise, codes Wine answers with too.
const DWORD kWorkstationEdition = 0x1C;
const DWORD kServerEdition = 0x07;

// A non-null handle that is no pointer to anything here.
HWND DesktopWindow() { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x10010)); }

}  // namespace

extern "C" {

// Either record, told apart by its size field as Windows does; any other
// size fails with ERROR_INSUFFICIENT_BUFFER.
BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const Claimed& system = System();
    info->dwMajorVersion = system.major;
    info->dwMinorVersion = system.minor;
    info->dwBuildNumber = system.build;
    info->dwPlatformId = system.platform;
    memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    strncpy(info->szCSDVersion, system.servicePack, sizeof info->szCSDVersion - 1);
    if (size == sizeof(OSVERSIONINFOEXA)) {
        LPOSVERSIONINFOEXA extended = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
        extended->wServicePackMajor = system.servicePackMajor;
        extended->wServicePackMinor = 0;
        extended->wSuiteMask = system.suite;
        extended->wProductType = system.productType;
        extended->wReserved = 0;
    }
    return TRUE;
}

void GetNativeSystemInfo(LPSYSTEM_INFO info) {
    memset(info, 0, sizeof *info);
    info->wProcessorArchitecture = HostArchitecture();
    info->dwPageSize = 4096;
    info->dwNumberOfProcessors = 1;
    info->dwAllocationGranularity = 65536;
}

// A process here always runs on the host's own architecture.
void GetSystemInfo(LPSYSTEM_INFO info) { GetNativeSystemInfo(info); }

BOOL GetProductInfo(DWORD /*osMajor*/, DWORD /*osMinor*/, DWORD /*spMajor*/, DWORD /*spMinor*/,
                    PDWORD edition) {
    if (edition == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *edition = System().productType == VER_NT_WORKSTATION ? kWorkstationEdition : kServerEdition;
    return TRUE;
}

// Only SM_SERVERR2 is asked for: no system claimed here is Server 2003 R2.
int GetSystemMetrics(int /*index*/) { return 0; }

HWND GetDesktopWindow(void) { return DesktopWindow(); }

}  // extern "C"
