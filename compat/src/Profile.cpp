// The profile functions over IniFile. Reads are served from parsed copies of
// recently used files (FileCache.h), so a change by any writer is seen at
// once while repeated reads of an unchanged file neither read nor parse it
// again. A file that is not a regular file is never read: its keys are
// absent, and writing it fails.
// A write holds the folder lock of Files.h from reading the file to renaming
// its new text into place.
//
// Listing sections or keys (a null section or key in a read) is not part of
// the subset the library calls: such a read gives the empty text.
#include <windows.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "FileCache.h"
#include "Files.h"
#include "IniFile.h"

namespace {

std::mutex profileMutex;

// Never destroyed: a profile call from another static destructor still
// finds it. Used with profileMutex held.
FileCache<IniFile>& Cache() {
    static FileCache<IniFile>* cache = new FileCache<IniFile>(8);
    return *cache;
}

// The parsed file, or null when it cannot be read (error: its errno).
// Called with profileMutex held.
const IniFile* Load(const std::string& path, int& error) {
    return Cache().Load(path, [](std::string text) { return ParseIni(std::move(text)); }, error);
}

// A name without a folder lives in the Windows folder; others are relative
// to the current folder, with either separator.
std::string FilePath(const char* name) {
    std::string path = name;
    if (path.find_first_of("\\/") == std::string::npos) {
        std::string windows = WindowsFolder();
        if (windows.back() != '/') windows += '/';
        return windows + path;
    }
    return ToHostPath(path);
}

// Blanks (not tabs) around a section or key argument do not count.
std::string ArgumentName(const char* name) {
    const char* begin = name;
    const char* end = name + strlen(name);
    while (begin < end && *begin == ' ') ++begin;
    while (end > begin && end[-1] == ' ') --end;
    return std::string(begin, end);
}

DWORD CopyCut(const char* text, size_t length, LPSTR buffer, DWORD size) {
    size_t copied = std::min<size_t>(length, size - 1);
    memcpy(buffer, text, copied);
    buffer[copied] = '\0';
    return static_cast<DWORD>(copied);
}

DWORD LastErrorOf(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        default: return ERROR_ACCESS_DENIED;
    }
}

}  // namespace

extern "C" {

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
    if (buffer == nullptr || size == 0) return 0;
    if (section == nullptr || key == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    // The default loses its trailing blanks (not tabs, not leading blanks).
    if (defaultText == nullptr) defaultText = "";
    size_t defaultLength = strlen(defaultText);
    while (defaultLength > 0 && defaultText[defaultLength - 1] == ' ') --defaultLength;
    if (fileName == nullptr || fileName[0] == '\0') return CopyCut(defaultText, defaultLength, buffer, size);

    std::lock_guard<std::mutex> lock(profileMutex);
    int error;
    const IniFile* ini = Load(FilePath(fileName), error);
    std::string_view value;
    if (ini == nullptr || !IniFind(*ini, ArgumentName(section), ArgumentName(key), value)) {
        return CopyCut(defaultText, defaultLength, buffer, size);
    }
    return CopyCut(value.data(), value.size(), buffer, size);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
    if (fileName == nullptr || fileName[0] == '\0') {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (section == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string path = FilePath(fileName);
    std::string keyName = key != nullptr ? ArgumentName(key) : std::string();
    std::lock_guard<std::mutex> lock(profileMutex);
    FolderLock fileLock(path);
    int error = 0;
    const IniFile* loaded = Load(path, error);
    if (loaded == nullptr && error != ENOENT) {
        SetLastError(LastErrorOf(error));
        return FALSE;
    }
    IniFile ini = loaded != nullptr ? *loaded : IniFile{};
    if (!IniWrite(ini, ArgumentName(section), key != nullptr ? keyName.c_str() : nullptr, value)) return TRUE;
    if ((error = ReplaceFileAtomically(path, IniText(ini))) != 0) {
        SetLastError(LastErrorOf(error));
        return FALSE;
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0) Cache().Remember(path, info, std::move(ini));
    return TRUE;
}

}  // extern "C"
