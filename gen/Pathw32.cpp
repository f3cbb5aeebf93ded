#include "gen/Pathw32.h"

#include <strsafe.h>

#include <utility>

#include "gen/Err.h"
#include "gen/File.h"
#include "gen/Path.h"
#include "gen/Startup.h"

HMODULE ModuleHandle;

namespace {

// The start-up order places only objects of class type.
struct ModuleHandleStore {
    ModuleHandleStore() { ModuleHandle = GetModuleHandleA(nullptr); }
} moduleHandleStore GEN_STARTUP(StartupModuleHandle);

}  // namespace

namespace {

// The source path as the build writes it; the lines are those the error
// framework's configured assertion texts are keyed by.
const char kSourcePath[] = "..\\Gen\\Pathw32.cpp";
const int kWindowsFolderLine = 15;
const int kSystemFolderLine = 20;
const int kCurrentFolderLine = 25;
const int kTempFolderLine = 30;
const int kModuleFileNameLine = 36;

const unsigned kBufferSize = 4096;
const unsigned kFolderBufferSize = 4095;  // the current and temporary folders get one less

unsigned openSearches;

// A folder query's buffer. Its first byte starts as NUL so that nothing is
// ever read from it unwritten.
struct QueryBuffer {
    char text[kBufferSize] = "";
};

// The system's answer as a folder ending in a separator; 0 (failure) or a
// size at least the buffer's (the needed size, the buffer left unwritten)
// raises the query's assertion.
Str FolderOf(const QueryBuffer& buffer, unsigned result, unsigned size, int line) {
    if (result == 0 || result >= size) {
        AssertFailed(kSourcePath, line);
        return Str();
    }
    return AddTrailingSeparator(FromSystemText(buffer.text));
}

}  // namespace

Str WindowsFolder() {
    QueryBuffer buffer;
    return FolderOf(buffer, GetWindowsDirectoryA(buffer.text, kBufferSize), kBufferSize, kWindowsFolderLine);
}

Str SystemFolder() {
    QueryBuffer buffer;
    return FolderOf(buffer, GetSystemDirectoryA(buffer.text, kBufferSize), kBufferSize, kSystemFolderLine);
}

HMODULE LoadSystemLibrary(const char* fileName) {
    Str path = Concat(SystemFolder(), fileName);
    return LoadLibraryA(path.data);
}

Str CurrentFolder() {
    QueryBuffer buffer;
    return FolderOf(buffer, GetCurrentDirectoryA(kFolderBufferSize, buffer.text), kFolderBufferSize,
                    kCurrentFolderLine);
}

Str TempFolder() {
    QueryBuffer buffer;
    return FolderOf(buffer, GetTempPathA(kFolderBufferSize, buffer.text), kFolderBufferSize, kTempFolderLine);
}

Str ModuleFileName() {
    QueryBuffer buffer;
    // A path that fills the whole buffer was cut (the system returns the size).
    DWORD result = GetModuleFileNameA(ModuleHandle, buffer.text, kBufferSize);
    if (result == 0 || result >= kBufferSize) {
        AssertFailed(kSourcePath, kModuleFileNameLine);
        return Str();
    }
    return Str(buffer.text);
}

Str UserDataFolder() {
    QueryBuffer buffer;
    DWORD result = GetEnvironmentVariableA("AppData", buffer.text, kBufferSize);
    // Unset, or too long for the buffer: no folder rather than a wrong one,
    // and likewise when the product's name would be cut.
    if (result == 0 || result >= kBufferSize) return Str();
    if (FAILED(StringCchCatA(buffer.text, kBufferSize, "\\Korvel"))) return Str();
    return AddTrailingSeparator(FromSystemText(buffer.text));
}

int SetCurrentFolder(const char* path) { return SetCurrentDirectoryA(path); }

Str LocateFile(Str fileName) {
    // Made on the first call, freed at exit.
    static Str lastFound;
    Str bases[] = {CurrentFolder(), ModuleFileName(), UserDataFolder(), WindowsFolder()};
    for (const Str& base : bases) {
        // Without "AppData" there is no per-user folder to try.
        if (base.data[0] == '\0') continue;
        Str candidate = ModifyPath(base.data, fileName.data);
        if (FileExists(candidate.data)) {
            lastFound = std::move(candidate);
            return lastFound;
        }
    }
    lastFound = Str();
    return lastFound;
}

void FileSearch::First(const char* pattern) {
    Close();
    handle = _findfirst64i32(pattern, &entry);
    if (handle == -1) return;
    ++openSearches;
    if (entry.attrib & _A_SUBDIR) Next();
}

void FileSearch::Next() {
    while (handle != -1) {
        if (_findnext64i32(handle, &entry) != 0) {
            Close();
            return;
        }
        if (!(entry.attrib & _A_SUBDIR)) return;
    }
}

void FileSearch::Close() {
    if (handle == -1) return;
    _findclose(handle);
    handle = -1;
    --openSearches;
}

unsigned OpenFileSearchesForTesting() { return openSearches; }
