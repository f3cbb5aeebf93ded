// The profile functions over IniFile. Reads are served from parsed copies of
// recently used files, each checked against the file's identity, size and
// modification time on every call, so a change by any writer is seen at once
// while repeated reads of an unchanged file neither read nor parse it again.
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
#include <list>
#include <mutex>
#include <string>

#include "Files.h"
#include "IniFile.h"

namespace {

const size_t kCachedFiles = 8;

struct CachedFile {
    std::string path;
    dev_t device;
    ino_t inode;
    off_t size;
    struct timespec modified;
    IniFile ini;
};

std::mutex profileMutex;

// Most recently used first. Never destroyed: a profile call from another
// static destructor still finds it.
std::list<CachedFile>& Cache() {
    static std::list<CachedFile>* cache = new std::list<CachedFile>;
    return *cache;
}

bool Same(const CachedFile& cached, const struct stat& info) {
    return cached.device == info.st_dev && cached.inode == info.st_ino && cached.size == info.st_size &&
           cached.modified.tv_sec == info.st_mtim.tv_sec && cached.modified.tv_nsec == info.st_mtim.tv_nsec;
}

void Remember(const std::string& path, const struct stat& info, IniFile ini) {
    std::list<CachedFile>& cache = Cache();
    cache.remove_if([&](const CachedFile& c) { return c.path == path; });
    cache.push_front(CachedFile{path, info.st_dev, info.st_ino, info.st_size, info.st_mtim, std::move(ini)});
    if (cache.size() > kCachedFiles) cache.pop_back();
}

// The parsed file, or null when it cannot be read (error: its errno).
// Called with profileMutex held.
const IniFile* Load(const std::string& path, int& error) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        error = errno;
        return nullptr;
    }
    std::list<CachedFile>& cache = Cache();
    for (auto c = cache.begin(); c != cache.end(); ++c) {
        if (c->path != path) continue;
        if (!Same(*c, info)) break;
        cache.splice(cache.begin(), cache, c);
        return &cache.front().ini;
    }
    std::string text;
    if (!ReadWholeFile(path, text, error, &info)) return nullptr;
    Remember(path, info, ParseIni(text));
    return &cache.front().ini;
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
    const std::string* value = ini != nullptr ? IniFind(*ini, ArgumentName(section), ArgumentName(key)) : nullptr;
    if (value == nullptr) return CopyCut(defaultText, defaultLength, buffer, size);
    return CopyCut(value->data(), value->size(), buffer, size);
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
    if (stat(path.c_str(), &info) == 0) Remember(path, info, std::move(ini));
    return TRUE;
}

}  // extern "C"
