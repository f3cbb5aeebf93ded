// The C runtime's file search over POSIX folders. A search reads its whole
// folder at _findfirst64i32 and hands the matching entries out one by one:
// "." and ".." first (except at the root, which on Windows is a drive root
// without them), then the rest in case-insensitive name order. Names match
// without regard to case, "*" and "?" as wildcards, and a final ".*" also
// matches names without a dot ("*.*" is every name), as on Windows.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "Files.h"

namespace {

struct Search {
    std::vector<_finddata64i32_t> entries;
    size_t next = 0;
};

// The open searches. Never destroyed: a search may still be open, and be
// closed, while static objects are destroyed at exit.
struct SearchTable {
    std::mutex mutex;
    std::set<Search*> open;
};
SearchTable& Searches() {
    static SearchTable* table = new SearchTable;
    return *table;
}

bool Matches(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') {
        for (const char* rest = name;; ++rest) {
            if (Matches(pattern + 1, rest)) return true;
            if (*rest == '\0') return false;
        }
    }
    // A final ".*" may match nothing at all.
    if (pattern[0] == '.' && pattern[1] == '*' && pattern[2] == '\0' && *name == '\0') return true;
    if (*name == '\0') return false;
    if (*pattern != '?' && LowerAscii(*pattern) != LowerAscii(*name)) return false;
    return Matches(pattern + 1, name + 1);
}

bool NameBefore(const _finddata64i32_t& a, const _finddata64i32_t& b) {
    auto rank = [](const char* name) { return strcmp(name, ".") == 0 ? 0 : strcmp(name, "..") == 0 ? 1 : 2; };
    int ra = rank(a.name), rb = rank(b.name);
    if (ra != rb) return ra < rb;
    for (size_t i = 0;; ++i) {
        char ca = LowerAscii(a.name[i]), cb = LowerAscii(b.name[i]);
        if (ca != cb || ca == '\0') return ca < cb;
    }
}

// The record Windows gives for a file or folder; false when it vanished.
bool Describe(const std::string& path, const char* name, _finddata64i32_t& entry) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &info) != 0) return false;
    entry = _finddata64i32_t{};
    bool folder = S_ISDIR(info.st_mode);
    entry.attrib = folder ? _A_SUBDIR : _A_ARCH | ((info.st_mode & S_IWUSR) ? 0 : _A_RDONLY);
    entry.time_create = info.st_ctime;
    entry.time_access = info.st_atime;
    entry.time_write = info.st_mtime;
    entry.size = folder ? 0 : static_cast<_fsize_t>(info.st_size);
    strncpy(entry.name, name, sizeof entry.name - 1);
    return true;
}

bool ReadFolder(const std::string& folder, const std::string& pattern, Search& search) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool root = folder == "/";
    while (dirent* item = readdir(dir)) {
        const char* name = item->d_name;
        bool dots = strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
        if ((root && dots) || strlen(name) >= sizeof(_finddata64i32_t::name)) continue;
        if (!Matches(pattern.c_str(), name)) continue;
        _finddata64i32_t entry;
        if (Describe(folder + "/" + name, name, entry)) search.entries.push_back(entry);
    }
    closedir(dir);
    std::sort(search.entries.begin(), search.entries.end(), NameBefore);
    return true;
}

Search* OpenSearch(intptr_t handle) {
    Search* search = reinterpret_cast<Search*>(handle);
    return Searches().open.count(search) ? search : nullptr;
}

}  // namespace

extern "C" {

intptr_t _findfirst64i32(const char* pattern, struct _finddata64i32_t* entry) {
    if (pattern == nullptr || entry == nullptr) {
        errno = EINVAL;
        return -1;
    }
    std::string path = ToHostPath(pattern);
    std::string folder = FolderOf(path);
    std::string name = FileNameOf(path);

    Search* search = new Search;
    if (name.empty() || !ReadFolder(folder, name, *search) || search->entries.empty()) {
        delete search;
        errno = ENOENT;
        return -1;
    }
    *entry = search->entries[search->next++];
    std::lock_guard<std::mutex> lock(Searches().mutex);
    Searches().open.insert(search);
    return reinterpret_cast<intptr_t>(search);
}

int _findnext64i32(intptr_t handle, struct _finddata64i32_t* entry) {
    std::lock_guard<std::mutex> lock(Searches().mutex);
    Search* search = OpenSearch(handle);
    if (search == nullptr || entry == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (search->next == search->entries.size()) {
        errno = ENOENT;
        return -1;
    }
    *entry = search->entries[search->next++];
    return 0;
}

int _findclose(intptr_t handle) {
    std::lock_guard<std::mutex> lock(Searches().mutex);
    Search* search = OpenSearch(handle);
    if (search == nullptr) {
        errno = EINVAL;
        return -1;
    }
    Searches().open.erase(search);
    delete search;
    return 0;
}

}  // extern "C"
