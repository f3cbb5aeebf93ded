// The runtime's buffered streams opened with share modes, and the low-level
// file calls the library makes beside them, over POSIX descriptors.
//
// Windows checks the share modes before it touches the file; here the lock
// is taken on a descriptor opened without truncation, and only then is a
// "w" file emptied and the stream made, so a refused open changes nothing.
// flock locks belong to the open file, not the process: a second open in
// the same process is refused as it is on Windows.
#include <io.h>
#include <share.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
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

    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if (shareFlag == _SH_DENYRW || shareFlag == _SH_DENYWR) {
        // A reader that lets others read takes the shared lock; a writer, or
        // a reader that lets nobody in, the exclusive one.
        const int lock = writing || shareFlag == _SH_DENYRW ? LOCK_EX : LOCK_SH;
        if (flock(descriptor, lock | LOCK_NB) != 0) return refuse(EACCES);
    }
    if (!emptying) return stream;
    if (S_ISREG(info.st_mode) && ftruncate(descriptor, 0) != 0) return refuse(errno);
    stream = fdopen(descriptor, streamMode.c_str());
    return stream ? stream : refuse(errno);
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

}  // extern "C"
