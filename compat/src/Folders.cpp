// The Windows and system folders, and the program's own file name.
//
// There is no Windows folder on Linux. It is the value of COMPAT_WINDIR when
// that is set and not empty (tests point it at a sandbox to plant programs
// there), else /opt/compat/windows: a fixed path outside world-writable
// folders, normally absent, so that nobody else can plant programs that
// CreateProcessA's search would find. The system folder is its "system32".
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "Instance.h"

namespace {

const char defaultWindowsFolder[] = "/opt/compat/windows";

std::string WindowsFolder() {
    const char* configured = getenv("COMPAT_WINDIR");
    std::string folder = configured != nullptr && configured[0] != '\0' ? configured : defaultWindowsFolder;
    // No trailing separator, except for the root itself.
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// Windows' rule for these folders: the text and its length when it fits with
// its NUL, else the size needed (NUL included) and the buffer untouched.
UINT CopyFolder(const std::string& folder, LPSTR buffer, UINT size) {
    if (buffer == nullptr || folder.size() >= size) return static_cast<UINT>(folder.size() + 1);
    memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}

}  // namespace

extern "C" {

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return CopyFolder(WindowsFolder(), buffer, size); }

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    std::string folder = WindowsFolder();
    if (folder != "/") folder += '/';
    return CopyFolder(folder + "system32", buffer, size);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (module != nullptr && module != CompatMainInstance()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::vector<char> path(256);
    ssize_t length;
    while ((length = readlink("/proc/self/exe", path.data(), path.size())) >= static_cast<ssize_t>(path.size())) {
        path.resize(path.size() * 2);
    }
    if (length < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (buffer == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Too small: cut to size - 1 characters and terminated, returning size, as
    // Windows does since Vista.
    if (static_cast<DWORD>(length) >= size) {
        memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(buffer, path.data(), static_cast<size_t>(length));
    buffer[length] = '\0';
    return static_cast<DWORD>(length);
}

}  // extern "C"
