// The registry: one .reg file named by COMPAT_REGISTRY. Calls are answered
// from a parsed copy checked against the file on every call (FileCache.h),
// so a child process sees at once what its parent wrote, and each change
// rewrites the file through a temporary file in the same folder that then
// replaces it, so a crash never leaves half a file. A change
// holds the folder lock of Files.h from its read to its rename, so two
// processes changing the file at the same moment both keep their change.
// The process is modelled as a 64-bit one, as the Wine runs of the tests are.
// These functions return their status and leave the last error alone.
#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "FileCache.h"
#include "Files.h"
#include "RegFile.h"

// What an HKEY of an opened key points to. Keys are named by path, so a
// handle to a key deleted and made again sees the new key; Windows would
// report the old one deleted.
struct CompatKey {
    HKEY root;
    std::string subKey;  // below the root, as the registry spells it; "" for the root
    REGSAM access;
};

namespace {

constexpr LONG kErrorNoAccess = 998;     // ERROR_NOACCESS: no data but a size
constexpr LONG kErrorBadDb = 1009;       // ERROR_BADDB: the file is not a REGEDIT4 file
constexpr LONG kErrorKeyDeleted = 1018;  // ERROR_KEY_DELETED
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericRead = 0x80000000;

std::mutex registryMutex;  // one call at a time, so changes in this process are not lost

// Live handles: a closed one is answered with ERROR_INVALID_HANDLE without
// touching the freed object. Never destroyed: keys still open at exit are
// closed by the system on Windows, so they are neither leaks nor gone before
// a late RegCloseKey from another static destructor.
std::set<HKEY>& OpenKeys() {
    static std::set<HKEY>* keys = new std::set<HKEY>;
    return *keys;
}

// A key as a call sees it: its full path in the file's notation.
struct Place {
    HKEY root;
    std::string path;
    REGSAM access;
};

bool IsPredefined(HKEY key) { return RegRootName(key) != nullptr; }

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

REGSAM Granted(REGSAM access) {
    if (access & (kMaximumAllowed | kGenericAll)) access |= KEY_ALL_ACCESS;
    if (access & (kGenericRead | kGenericExecute)) access |= KEY_READ;
    if (access & kGenericWrite) access |= KEY_WRITE;
    return access;
}

bool Resolve(HKEY key, Place& place) {
    if (IsPredefined(key)) {
        place = Place{key, RegRootName(key), KEY_ALL_ACCESS};
        return true;
    }
    if (OpenKeys().count(key) == 0) return false;
    std::string path = RegRootName(key->root);
    if (!key->subKey.empty()) path += "\\" + key->subKey;
    place = Place{key->root, path, key->access};
    return true;
}

HKEY NewHandle(HKEY root, const std::string& path, REGSAM access) {
    size_t rootLength = strlen(RegRootName(root));
    std::string subKey = path.size() > rootLength ? path.substr(rootLength + 1) : std::string();
    HKEY key = new CompatKey{root, subKey, Granted(access)};
    OpenKeys().insert(key);
    return key;
}

// The full path of subKey below base. Empty parts ("a\\b", "a\") are skipped
// as under Wine; a leading backslash is refused.
LONG Join(const Place& base, LPCSTR subKey, REGSAM access, std::string& path) {
    path = base.path;
    if (subKey == nullptr) return ERROR_SUCCESS;
    if (subKey[0] == '\\') return ERROR_BAD_PATHNAME;
    // A section line of the file cannot hold a line break.
    if (strpbrk(subKey, "\r\n") != nullptr) return ERROR_INVALID_PARAMETER;
    bool first = true;
    for (const char* part = subKey; *part != '\0';) {
        size_t length = strcspn(part, "\\");
        if (length > 0) {
            std::string name(part, length);
            path += "\\" + name;
            // The 32-bit view of HKLM\Software is its Wow6432Node subkey. Only a
            // path going down from the root is redirected, as under Wine.
            if (first && (access & KEY_WOW64_32KEY) && base.path == RegRootName(HKEY_LOCAL_MACHINE) &&
                RegSameName(name, "Software")) {
                path += "\\Wow6432Node";
            }
            first = false;
        }
        part += length;
        if (*part == '\\') ++part;
    }
    return ERROR_SUCCESS;
}

std::string RegistryFile() {
    const char* file = getenv("COMPAT_REGISTRY");
    return file != nullptr ? file : "";
}

// The registry as a file holds it; status kErrorBadDb for a file that is
// not a REGEDIT4 one.
struct RegistryCopy {
    LONG status;
    RegTree tree;
};

// Used with registryMutex held; never destroyed, as OpenKeys.
FileCache<RegistryCopy>& Cache() {
    static FileCache<RegistryCopy>* cache = new FileCache<RegistryCopy>(2);
    return *cache;
}

const RegTree& EmptyTree() {
    static const RegTree* empty = new RegTree;
    return *empty;
}

// The registry as its file holds it now, in the cache until the next call.
// A missing variable or file is an empty registry, the roots alone; so is a
// file that is not a regular file, which a change refuses (it must not be
// replaced by one). Called with the registry locked.
LONG Load(const RegTree*& tree, bool change) {
    tree = &EmptyTree();
    std::string file = RegistryFile();
    if (file.empty()) return ERROR_SUCCESS;
    int error;
    auto parse = [](std::string text) {
        RegistryCopy copy{ERROR_SUCCESS, {}};
        // An empty file, as a test's fresh temporary file, is an empty registry too.
        if (!text.empty() && !RegParseFile(text, copy.tree)) copy = RegistryCopy{kErrorBadDb, {}};
        return copy;
    };
    const RegistryCopy* copy = Cache().Load(file, parse, error);
    if (copy == nullptr) return error == ENOENT || (error == ENODEV && !change) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    tree = &copy->tree;
    return copy->status;
}

// For a value call on an open key: the key must grant right, and still
// exist in the registry loaded into tree. Called with the registry locked.
LONG LoadOpenKey(HKEY key, REGSAM right, Place& place, const RegTree*& tree, bool change) {
    if (!Resolve(key, place)) return ERROR_INVALID_HANDLE;
    if ((place.access & right) == 0) return ERROR_ACCESS_DENIED;
    LONG status = Load(tree, change);
    if (status != ERROR_SUCCESS) return status;
    return RegKeyExists(*tree, place.path) ? ERROR_SUCCESS : kErrorKeyDeleted;
}

// Writes tree as the registry file, and keeps it as the file's copy.
LONG Save(RegTree tree) {
    std::string file = RegistryFile();
    // Without the variable there is no file to change. ERROR_ACCESS_DENIED,
    // rather than a made-up default path that tests would write into.
    if (file.empty()) return ERROR_ACCESS_DENIED;
    int error = ReplaceFileAtomically(file, RegFormatFile(tree));
    if (error == 0) {
        struct stat info;
        if (stat(file.c_str(), &info) == 0) Cache().Remember(file, info, RegistryCopy{ERROR_SUCCESS, std::move(tree)});
        return ERROR_SUCCESS;
    }
    return (error == ENOENT || error == ENOTDIR) ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
}

LONG OpenKey(HKEY key, LPCSTR subKey, REGSAM access, PHKEY result) {
    Place base;
    if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
    std::string path;
    LONG status = Join(base, subKey, access, path);
    if (status != ERROR_SUCCESS) return status;
    // Nothing below a root: Windows hands back the root itself.
    if (IsPredefined(key) && path == base.path) {
        *result = key;
        return ERROR_SUCCESS;
    }
    const RegTree* tree;
    if ((status = Load(tree, false)) != ERROR_SUCCESS) return status;
    if (!RegKeyExists(*tree, base.path)) return kErrorKeyDeleted;
    if (!RegKeyExists(*tree, path)) return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(base.root, RegSpelled(*tree, path), access);
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::lock_guard<std::mutex> lock(registryMutex);
    return OpenKey(key, subKey, access, result);
}

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    // No subkey: the same handle back, not a new one.
    if (subKey == nullptr || subKey[0] == '\0') {
        *result = key;
        return ERROR_SUCCESS;
    }
    return RegOpenKeyExA(key, subKey, 0, kMaximumAllowed, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::lock_guard<std::mutex> lock(registryMutex);
    Place base;
    if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
    std::string path;
    LONG status = Join(base, subKey, access, path);
    if (status != ERROR_SUCCESS) return status;
    FolderLock fileLock(RegistryFile());
    const RegTree* loaded;
    if ((status = Load(loaded, true)) != ERROR_SUCCESS) return status;
    if (!RegKeyExists(*loaded, base.path)) return kErrorKeyDeleted;
    bool created = !RegKeyExists(*loaded, path);
    std::string spelled;
    if (created) {
        RegTree tree = *loaded;
        spelled = RegMakeKey(tree, path).path;
        if ((status = Save(std::move(tree))) != ERROR_SUCCESS) return status;
    } else {
        spelled = RegSpelled(*loaded, path);
    }
    if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(base.root, spelled, access);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size) {
    if (reserved != nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(registryMutex);
    Place place;
    const RegTree* tree;
    LONG status = LoadOpenKey(key, KEY_QUERY_VALUE, place, tree, false);
    if (status != ERROR_SUCCESS) return status;
    const RegKey* section = RegFindKey(*tree, place.path);
    const RegValue* value = section != nullptr ? RegFindValue(*section, valueName != nullptr ? valueName : "") : nullptr;
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    DWORD needed = static_cast<DWORD>(value->data.size());
    if (type != nullptr) *type = value->type;
    if (data != nullptr) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed > 0) memcpy(data, value->data.data(), needed);
        // A string stored without its NUL gets one if there is room; the
        // size reported stays the stored size. An empty one gets none.
        if (IsString(value->type) && needed > 0 && data[needed - 1] != 0 && *size > needed) data[needed] = 0;
    }
    if (size != nullptr) *size = needed;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    if (data == nullptr && size != 0) return kErrorNoAccess;
    // Exactly size bytes are read and stored: a string whose size leaves out
    // its NUL is stored raw, never completed from the byte after the caller's
    // data (Windows peeks at that byte; a caller's exact buffer ends there).
    std::lock_guard<std::mutex> lock(registryMutex);
    FolderLock fileLock(RegistryFile());
    Place place;
    const RegTree* loaded;
    LONG status = LoadOpenKey(key, KEY_SET_VALUE, place, loaded, true);
    if (status != ERROR_SUCCESS) return status;
    RegTree tree = *loaded;
    RegKey& section = RegMakeKey(tree, place.path);
    std::string name = valueName != nullptr ? valueName : "";
    RegValue* value = RegFindValue(section, name);
    if (value == nullptr) {
        section.values.push_back(RegValue{name, REG_NONE, {}});
        value = &section.values.back();
    }
    value->type = type;
    value->data.assign(data, data + size);
    return Save(std::move(tree));
}

LONG RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    std::lock_guard<std::mutex> lock(registryMutex);
    Place base;
    if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
    std::string path;
    LONG status = Join(base, subKey, 0, path);
    if (status != ERROR_SUCCESS) return status;
    FolderLock fileLock(RegistryFile());
    const RegTree* loaded;
    if ((status = Load(loaded, true)) != ERROR_SUCCESS) return status;
    if (!RegKeyExists(*loaded, base.path)) return kErrorKeyDeleted;
    if (path != base.path && !RegKeyExists(*loaded, path)) return ERROR_FILE_NOT_FOUND;
    RegTree tree = *loaded;
    if (path == base.path) {
        // No subkey: the key's values and subkeys go, the key stays.
        RegClearKey(tree, path);
    } else {
        RegDeleteKey(tree, path);
    }
    return Save(std::move(tree));
}

LONG RegCloseKey(HKEY key) {
    if (IsPredefined(key)) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(registryMutex);
    if (OpenKeys().erase(key) == 0) return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}

}  // extern "C"
