// Text lengths and the environment. Windows names its variables without
// regard to case, so lookups scan environ rather than asking getenv; changes go
// through setenv/unsetenv so that getenv and child processes see them.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::mutex environmentMutex;

bool SameNameIgnoringCase(const char* entry, size_t entryNameLength, const char* name) {
    if (strlen(name) != entryNameLength) return false;
    for (size_t i = 0; i < entryNameLength; ++i) {
        char a = entry[i], b = name[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
    }
    return true;
}

// The first entry named name (any case); null when there is none.
const char* FindEntry(const char* name, size_t* nameLength) {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = strchr(*entry, '=');
        if (equals == nullptr) continue;
        size_t length = static_cast<size_t>(equals - *entry);
        if (SameNameIgnoringCase(*entry, length, name)) {
            *nameLength = length;
            return *entry;
        }
    }
    return nullptr;
}

// Every spelling under which name is set.
std::vector<std::string> SpellingsOf(const char* name) {
    std::vector<std::string> spellings;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = strchr(*entry, '=');
        if (equals == nullptr) continue;
        size_t length = static_cast<size_t>(equals - *entry);
        if (SameNameIgnoringCase(*entry, length, name)) spellings.emplace_back(*entry, length);
    }
    return spellings;
}

bool ValidName(LPCSTR name) { return name != nullptr && name[0] != '\0' && strchr(name, '=') == nullptr; }

}  // namespace

extern "C" {

int lstrlenA(LPCSTR text) { return text == nullptr ? 0 : static_cast<int>(strlen(text)); }

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> lock(environmentMutex);
    size_t nameLength = 0;
    const char* entry = ValidName(name) ? FindEntry(name, &nameLength) : nullptr;
    if (entry == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const char* value = entry + nameLength + 1;
    size_t length = strlen(value);
    if (length >= size || buffer == nullptr) return static_cast<DWORD>(length + 1);
    memcpy(buffer, value, length + 1);
    return static_cast<DWORD>(length);
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (!ValidName(name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(environmentMutex);
    std::vector<std::string> spellings = SpellingsOf(name);
    // Keep the spelling already in use, so POSIX programs reading "PATH" still
    // find it after a change to "Path"; drop any other spellings.
    std::string kept = spellings.empty() ? std::string(name) : spellings.front();
    for (const std::string& spelling : spellings) {
        if (value == nullptr || spelling != kept) unsetenv(spelling.c_str());
    }
    if (value != nullptr && setenv(kept.c_str(), value, 1) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
