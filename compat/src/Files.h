// File chores shared inside compat: paths given with Windows' separator,
// their file and folder parts, ASCII case folding, reading a whole file,
// replacing one atomically, and an advisory lock that makes a
// read-modify-write of one file exclusive between processes.
#pragma once

#include <sys/stat.h>

#include <string>

// The path with every backslash turned into a slash.
std::string ToHostPath(std::string path);

// What follows the last slash; the whole path when it has none.
std::string FileNameOf(const std::string& path);

// What precedes the last slash: "." when there is none, "/" when it is the
// first character.
std::string FolderOf(const std::string& path);

// The Windows folder (Folders.cpp), of any length, without a trailing
// separator except for the root itself.
std::string WindowsFolder();

// A..Z to a..z, nothing else changed, whatever the locale.
inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string LowerAscii(std::string text) {
    for (char& c : text) c = LowerAscii(c);
    return text;
}

// The whole file into text, which costs its size. False when it cannot be
// read; error then holds errno (ENOENT for a missing file, EISDIR for a
// folder, ENODEV for anything else that is not a regular file, such as a
// device or a FIFO, which might never end and is not read at all). info,
// when given, receives the state of the very file read (fstat of the open
// file).
bool ReadWholeFile(const std::string& path, std::string& text, int& error, struct stat* info = nullptr);

// Writes text to a temporary file in the folder of the file path leads to
// (links followed) and renames it over that file, so that a reader sees the
// old file or the new one, never half of either, and a crash loses nothing.
// A file the caller may not write is refused with EACCES. An existing file
// keeps its mode, and its owner and group where the process may set them;
// a new one gets 0666 less the umask. Returns 0 or the errno of the step
// that failed.
int ReplaceFileAtomically(const std::string& path, const std::string& text);

// An exclusive flock on the folder that holds the file path leads to (links
// followed, as the replace does), for as long as the object
// lives. The file itself cannot carry the lock: replacing it by a rename
// would leave a waiting process locking the old file. Every writer of a file
// takes this lock before reading it, so two processes changing one file one
// after the other both see the other's change. Without a folder that can be
// opened the lock is not taken, and the write fails later on its own.
class FolderLock {
public:
    explicit FolderLock(const std::string& path);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd;
};
