#include "Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

// The file path leads to: each link followed, a relative one from the
// folder that holds it, at most 40 as the kernel allows. A path that is no
// link is its own answer, a missing one included.
std::string LinkTarget(std::string path) {
    for (int links = 0; links < 40; ++links) {
        char target[4096];
        const ssize_t length = readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof target) break;
        std::string next(target, static_cast<size_t>(length));
        path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
    }
    return path;
}

// A temporary file beside path, created new with the mode a new file gets
// (0666 less the umask); -1 and errno when none could be made.
int CreateBeside(const std::string& path, std::string& temporary) {
    static unsigned sequence = 0;
    for (int tries = 0; tries < 100; ++tries) {
        temporary = path + "." + std::to_string(getpid()) + "-" + std::to_string(++sequence) + ".tmp";
        const int fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

std::string ToHostPath(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool ReadWholeFile(const std::string& path, std::string& text, int& error, struct stat* info) {
    text.clear();
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat state;
    if (fstat(fd, &state) != 0) {
        error = errno;
    } else if (S_ISDIR(state.st_mode)) {
        error = EISDIR;
    } else {
        // A device or a FIFO may never end.
        error = S_ISREG(state.st_mode) ? 0 : ENODEV;
    }
    if (error == 0) {
        if (info != nullptr) *info = state;
        // Read to its end, which a file that grows meanwhile may move.
        text.reserve(static_cast<size_t>(state.st_size));
        char buffer[65536];
        ssize_t count;
        while ((count = read(fd, buffer, sizeof buffer)) != 0) {
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) {
                error = errno;
                break;
            }
            text.append(buffer, static_cast<size_t>(count));
        }
    }
    close(fd);
    if (error != 0) text.clear();
    return error == 0;
}

int ReplaceFileAtomically(const std::string& path, const std::string& text) {
    const std::string file = LinkTarget(path);
    struct stat old;
    const bool exists = stat(file.c_str(), &old) == 0;
    // The rename needs only the folder: a file the caller may not write
    // would be replaced all the same. Refused as its open would be (the
    // administrator may write a read-only file, as under Wine run by root).
    if (exists && access(file.c_str(), W_OK) != 0) return EACCES;
    std::string temp;
    int fd = CreateBeside(file, temp);
    if (fd < 0) return errno;
    if (exists) {
        // The owner where the process may give the file away, else at least
        // the group; the mode after, since a change of owner clears set-id bits.
        const bool kept = fchown(fd, old.st_uid, old.st_gid) == 0 || fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
        (void)kept;  // else the writer's, all the process may do
        fchmod(fd, old.st_mode & 07777);
    }
    bool written = WriteAll(fd, text) && fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temp.c_str(), file.c_str()) == 0) return 0;
    if (written) error = errno;
    unlink(temp.c_str());
    return error != 0 ? error : EIO;
}

FolderLock::FolderLock(const std::string& path)
    : fd(path.empty() ? -1 : open(FolderOf(LinkTarget(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd < 0) return;
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

FolderLock::~FolderLock() {
    if (fd >= 0) close(fd);
}
