#include "Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) return errno;
    struct stat old;
    fchmod(fd, stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    bool written = WriteAll(fd, text) && fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temp.c_str(), path.c_str()) == 0) return 0;
    if (written) error = errno;
    unlink(temp.c_str());
    return error != 0 ? error : EIO;
}

FolderLock::FolderLock(const std::string& path)
    : fd(path.empty() ? -1 : open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd < 0) return;
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

FolderLock::~FolderLock() {
    if (fd >= 0) close(fd);
}
