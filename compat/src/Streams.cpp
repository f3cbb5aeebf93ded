// The runtime's buffered streams opened with share modes, the low-level file
// calls the library makes beside them, over POSIX descriptors, and moving a
// file.
//
// Windows checks the share modes before it touches the file; here the lock
// is taken on a descriptor opened without truncation, and only then is a
// "w" file emptied and the stream made, so a refused open changes nothing.
// flock locks belong to the open file, not the process: a second open in
// the same process is refused as it is on Windows.
#include <io.h>
#include <share.h>
#include <windows.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <utility>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Files.h"

namespace {

// The open flags of a stream mode, and the mode glibc is given (without
// "t" and "b", which it does not need).
bool ParseMode(const char* mode, int& flags, std::string& streamMode) {
    bool update = strchr(mode, '+') != nullptr;
    switch (mode[0]) {
        case 'r': flags = update ? O_RDWR : O_RDONLY; break;
        case 'w': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT; break;
        case 'a': flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
        default: return false;
    }
    streamMode.assign(1, mode[0]);
    if (update) streamMode += '+';
    return true;
}

// The share mode's advisory lock: a reader that lets others read takes the
// shared lock; a writer, or a reader that lets nobody in, the exclusive one.
bool LockShared(int descriptor, bool writing, int shareFlag) {
    if (shareFlag != _SH_DENYRW && shareFlag != _SH_DENYWR) return true;
    const int lock = writing || shareFlag == _SH_DENYRW ? LOCK_EX : LOCK_SH;
    return flock(descriptor, lock | LOCK_NB) == 0;
}

DWORD MoveErrorOf(int error) {
    switch (error) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        default: return ERROR_ACCESS_DENIED;
    }
}

}  // namespace

extern "C" {

FILE* _fsopen(const char* path, const char* mode, int shareFlag) {
    int flags;
    std::string streamMode;
    if (path == nullptr || mode == nullptr || !ParseMode(mode, flags, streamMode)) {
        errno = EINVAL;
        return nullptr;
    }
    // Only "w" empties the file, which has to wait for the lock; the other
    // modes open as the stream at once, a system call fewer than fdopen.
    const bool emptying = mode[0] == 'w';
    const std::string host = ToHostPath(path);
    FILE* stream = emptying ? nullptr : fopen(host.c_str(), (streamMode + "e").c_str());
    const int descriptor = emptying ? open(host.c_str(), flags | O_CLOEXEC, 0666) : stream ? fileno(stream) : -1;
    auto refuse = [&](int error) -> FILE* {
        if (stream) {
            fclose(stream);
        } else if (descriptor >= 0) {
            close(descriptor);
        }
        errno = error == EISDIR ? EACCES : error;  // Windows refuses folders so
        return nullptr;
    };
    if (descriptor < 0) return refuse(errno);
    struct stat info;
    if (fstat(descriptor, &info) != 0) return refuse(errno);
    if (S_ISDIR(info.st_mode)) return refuse(EACCES);

    if (!LockShared(descriptor, (flags & O_ACCMODE) != O_RDONLY, shareFlag)) return refuse(EACCES);
    if (!emptying) return stream;
    if (S_ISREG(info.st_mode) && ftruncate(descriptor, 0) != 0) return refuse(errno);
    stream = fdopen(descriptor, streamMode.c_str());
    return stream ? stream : refuse(errno);
}

int _sopen(const char* path, int flags, int shareFlag, ...) {
    va_list arguments;
    va_start(arguments, shareFlag);
    const int permissions = (flags & _O_CREAT) ? va_arg(arguments, int) : 0;
    va_end(arguments);
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    const int accessMode = flags & (_O_WRONLY | _O_RDWR);
    int hostFlags = accessMode == _O_RDWR ? O_RDWR : accessMode == _O_WRONLY ? O_WRONLY : O_RDONLY;
    for (auto [windows, host] : {std::pair{_O_APPEND, O_APPEND}, {_O_CREAT, O_CREAT}, {_O_TRUNC, O_TRUNC}, {_O_EXCL, O_EXCL}})
        if (flags & windows) hostFlags |= host;
    const int descriptor =
        open(ToHostPath(path).c_str(), hostFlags | O_CLOEXEC, (permissions & _S_IWRITE) ? 0666 : 0444);
    if (descriptor < 0) return -1;
    struct stat info;
    const int error = fstat(descriptor, &info) != 0 ? errno
                      : S_ISDIR(info.st_mode)      ? EACCES
                      : !LockShared(descriptor, accessMode != _O_RDONLY, shareFlag) ? EACCES
                                                                               : 0;
    if (error == 0) return descriptor;
    close(descriptor);
    errno = error;
    return -1;
}

int _close(int descriptor) { return close(descriptor); }

FILE* _fdopen(int descriptor, const char* mode) {
    int flags;
    std::string streamMode;
    if (mode == nullptr || !ParseMode(mode, flags, streamMode)) {
        errno = EINVAL;
        return nullptr;
    }
    return fdopen(descriptor, streamMode.c_str());
}

int _access(const char* path, int mode) { return access(ToHostPath(path).c_str(), mode == 0 ? F_OK : mode); }

int _unlink(const char* path) { return unlink(ToHostPath(path).c_str()); }

int _commit(int descriptor) { return fsync(descriptor); }

int _chsize_s(int descriptor, int64_t size) {
    if (size < 0) return EINVAL;
    return ftruncate(descriptor, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

int64_t _filelengthi64(int descriptor) {
    struct stat info;
    if (fstat(descriptor, &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

int _fileno(FILE* stream) { return fileno(stream); }

int64_t _ftelli64(FILE* stream) { return static_cast<int64_t>(ftello(stream)); }

// Windows' runtime drops a stream's buffer on every seek; glibc keeps the
// bytes it has read when the new position lies among them, stale after the
// file was changed below the stream (_chsize_s). A flush first makes glibc
// drop them too.
int _fseeki64(FILE* stream, int64_t offset, int origin) {
    if (fflush(stream) != 0) return -1;
    return fseeko(stream, static_cast<off_t>(offset), origin);
}

BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags) {
    if (existingName == nullptr || newName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string from = ToHostPath(existingName), to = ToHostPath(newName);
    struct stat info;
    if (lstat(to.c_str(), &info) == 0) {
        // The rename would replace a file the caller may not write, and a
        // folder: Windows refuses both.
        const bool refused = S_ISDIR(info.st_mode) || (!S_ISLNK(info.st_mode) && access(to.c_str(), W_OK) != 0);
        const DWORD refusal = !(flags & MOVEFILE_REPLACE_EXISTING) ? ERROR_ALREADY_EXISTS
                              : refused                             ? ERROR_ACCESS_DENIED
                                                                    : ERROR_SUCCESS;
        if (refusal != ERROR_SUCCESS) {
            SetLastError(refusal);
            return FALSE;
        }
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
        SetLastError(MoveErrorOf(errno));
        return FALSE;
    }
    if (flags & MOVEFILE_WRITE_THROUGH) {
        const int folder = open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            fsync(folder);
            close(folder);
        }
    }
    return TRUE;
}

}  // extern "C"
