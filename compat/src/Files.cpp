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

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HostPath(const char* path) {
    std::string host = path;
    std::replace(host.begin(), host.end(), '\\', '/');
    return host;
}

// The open flags of a stream mode, and the mode fdopen is given (without
// "t" and "b", which glibc does not need).
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

FILE* Refuse(int descriptor, int error) {
    if (descriptor >= 0) close(descriptor);
    errno = error;
    return nullptr;
}

}  // namespace

extern "C" {

FILE* _fsopen(const char* path, const char* mode, int shareFlag) {
    int flags;
    std::string streamMode;
    if (path == nullptr || mode == nullptr || !ParseMode(mode, flags, streamMode)) return Refuse(-1, EINVAL);
    int descriptor = open(HostPath(path).c_str(), flags | O_CLOEXEC, 0666);
    if (descriptor < 0) return nullptr;
    struct stat info;
    if (fstat(descriptor, &info) != 0) return Refuse(descriptor, errno);
    if (S_ISDIR(info.st_mode)) return Refuse(descriptor, EACCES);

    bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if (shareFlag == _SH_DENYRW || shareFlag == _SH_DENYWR) {
        // A reader that lets others read takes the shared lock; a writer, or
        // a reader that lets nobody in, the exclusive one.
        int lock = writing || shareFlag == _SH_DENYRW ? LOCK_EX : LOCK_SH;
        if (flock(descriptor, lock | LOCK_NB) != 0) return Refuse(descriptor, EACCES);
    }
    if (mode[0] == 'w' && S_ISREG(info.st_mode) && ftruncate(descriptor, 0) != 0) return Refuse(descriptor, errno);
    FILE* stream = fdopen(descriptor, streamMode.c_str());
    if (stream == nullptr) return Refuse(descriptor, errno);
    return stream;
}

int _access(const char* path, int mode) { return access(HostPath(path).c_str(), mode == 0 ? F_OK : mode); }

int _unlink(const char* path) { return unlink(HostPath(path).c_str()); }

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
