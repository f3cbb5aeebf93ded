// The Windows, system, current and temporary folders, the program's own
// module and file name.
//
// There is no Windows folder on Linux. It is the value of COMPAT_WINDIR when
// that is set and not empty (tests point it at a sandbox to plant programs
// there), else /opt/compat/windows: a fixed path outside world-writable
// folders, normally absent, so that nobody else can plant programs that
// CreateProcessA's search would find. The system folder is its "system32".
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "Files.h"
#include "Instance.h"
#include "Modules.h"

namespace {

const char defaultWindowsFolder[] = "/opt/compat/windows";

// Windows' rule for these folders: the text and its length when it fits with
// its NUL, else the size needed (NUL included) and the buffer untouched.
UINT CopyFolder(const std::string& folder, LPSTR buffer, UINT size) {
    if (buffer == nullptr || folder.size() >= size) return static_cast<UINT>(folder.size() + 1);
    memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}

bool CurrentFolder(std::string& folder) {
    std::vector<char> path(256);
    while (getcwd(path.data(), path.size()) == nullptr) {
        if (errno != ERANGE) return false;
        path.resize(path.size() * 2);
    }
    folder = path.data();
    return true;
}

DWORD LastErrorOf(int error) {
    switch (error) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_DIRECTORY;
        case EACCES: return ERROR_ACCESS_DENIED;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        default: return ERROR_PATH_NOT_FOUND;
    }
}

// Windows takes the first of TMP and TEMP that is set (then the profile);
// here TMPDIR comes third, then /tmp. Like Windows it refuses a folder longer
// than MAX_PATH rather than looking further.
std::string TempFolder() {
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
        const char* value = getenv(name);
        if (value != nullptr && value[0] != '\0') return value;
    }
    return "/tmp";
}

}  // namespace

std::string WindowsFolder() {
    const char* configured = getenv("COMPAT_WINDIR");
    std::string folder = configured != nullptr && configured[0] != '\0' ? configured : defaultWindowsFolder;
    // No trailing separator, except for the root itself.
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

extern "C" {

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) { return CopyFolder(WindowsFolder(), buffer, size); }

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    std::string folder = WindowsFolder();
    if (folder != "/") folder += '/';
    return CopyFolder(folder + "system32", buffer, size);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::string folder;
    if (!CurrentFolder(folder)) {
        SetLastError(LastErrorOf(errno));
        return 0;
    }
    return CopyFolder(folder, buffer, size);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    if (path == nullptr || path[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (chdir(ToHostPath(path).c_str()) != 0) {
        SetLastError(LastErrorOf(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    std::string folder = TempFolder();
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    if (folder.size() > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return CopyFolder(folder, buffer, size);
}

HMODULE GetModuleHandleA(LPCSTR name) {
    if (name != nullptr) return LoadedSystemModule(name);
    return CompatMainInstance();
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
