// The folders Windows names (each returned ending in a separator), the
// running program's file, the current folder, and a cursor over the files
// matching a wildcard pattern.
//
// A system call that fails, or that needs more room than its buffer gives
// (it then returns the size it needs and writes nothing), raises an
// assertion failure naming this module and the query's line.
#pragma once

#include <windows.h>

#include <io.h>

#include <cstdint>

#include "gen/Str.h"

// The running program's module handle, stored in its place of the library's
// start-up order (gen/Startup.h).
extern HMODULE ModuleHandle;

Str WindowsFolder();
Str SystemFolder();
// Loads the system library fileName by its full path in SystemFolder, never
// by the search rules, which also look in the program's folder; null when it
// does not load.
HMODULE LoadSystemLibrary(const char* fileName);
// An entry GetProcAddress found, as the function it is.
template <class Entry>
Entry EntryAs(FARPROC entry) {
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(entry));
}
Str CurrentFolder();
Str TempFolder();
// The program file's full path, without a trailing separator.
Str ModuleFileName();
// The product's folder inside the user's application data folder ("AppData"),
// or the empty text when "AppData" is not set or the folder would not fit.
Str UserDataFolder();
// Non-zero on success; nothing is raised.
int SetCurrentFolder(const char* path);

// The first place fileName exists, as a path: the current folder, beside the
// program (ModifyPath of the program's file, so a name without extension
// takes the program's), the per-user folder, the Windows folder. A name with
// a folder part is tried as it is. The empty name gives the current folder.
// The result is also kept as the process-wide last-found path. A search that
// finds nothing clears it and returns the empty text: an earlier search's
// path, found for another name, would send the caller to the wrong file.
Str LocateFile(Str fileName);

// Walks the files (never the folders) that match a pattern such as
// "C:\\data\\*.txt". The runtime's search is closed as soon as the cursor is
// exhausted, when it starts again, and when it is destroyed.
class FileSearch {
public:
    intptr_t handle;  // -1: exhausted, or nothing was found
    _finddata64i32_t entry;

    FileSearch() : handle(-1), entry() {}
    ~FileSearch() { Close(); }
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    // Starts the search at the first file matching pattern.
    void First(const char* pattern);
    // Moves to the next file.
    void Next();
    bool Exhausted() const { return handle == -1; }

    // The current file; meaningless once the cursor is exhausted.
    Str Name() const { return Str(entry.name); }
    uint32_t Attributes() const { return entry.attrib; }
    uint32_t Size() const { return static_cast<uint32_t>(entry.size); }
    int64_t WriteTime() const { return entry.time_write; }

private:
    void Close();
};

// How many runtime searches the cursors hold open: for the library's tests.
unsigned OpenFileSearchesForTesting();
