// What compat's profile functions promise beyond the shared conformance
// tests, natively only: Wine rewrites the whole file on each write and makes
// no promise for concurrent writers.
#include <windows.h>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace {

TEST(ProfileFile, WritesKeepEveryLineTheyDoNotChange) {
    Sandbox sandbox;
    const std::string file = sandbox.Path("keep.ini");
    const std::string head = "; settings\n\n  [ One ]  # note\n  a  =  1  \nunknown line\n";
    WriteFileText(file, head + "b=2\n\n[Two]\r\nc=3");
    ASSERT_TRUE(WritePrivateProfileStringA("one", "B", "changed", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("One", "new", "n", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Two", "d", "4", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Three", "e", "5", file.c_str()));
    EXPECT_EQ(ReadFileText(file), head + "b=changed\nnew=n\r\n\n[Two]\r\nc=3\r\nd=4\r\n[Three]\r\ne=5\r\n");
    // Nothing but the file itself is left in the folder.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox.Root())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(ProfileFile, ReadsSeeEveryChangeOfTheFile) {
    Sandbox sandbox;
    const std::string file = sandbox.Path("cache.ini");
    WriteFileText(file, "[S]\nK=first\n");
    EXPECT_EQ(ProfileText(file, "S", "K"), "first");
    WriteFileText(file, "[S]\nK=second value\n");
    EXPECT_EQ(ProfileText(file, "S", "K"), "second value");
    // Same size, a later modification time.
    WriteFileText(file, "[S]\nK=third  value\n");
    struct timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
    utimensat(AT_FDCWD, file.c_str(), later, 0);
    EXPECT_EQ(ProfileText(file, "S", "K"), "third  value");
    std::filesystem::remove(file);
    EXPECT_EQ(ProfileText(file, "S", "K"), "(missing)");
}

// A write replaces the file a link leads to, and the replaced file keeps its
// mode, owner and group; a new file gets the mode the umask leaves.
TEST(ProfileFile, AReplacedFileKeepsWhatItWas) {
    Sandbox sandbox;
    const std::string target = sandbox.Folder("elsewhere") + "/target.ini";
    const std::string link = sandbox.Path("link.ini");
    WriteFileText(target, "[S]\r\nK=v\r\n");
    ASSERT_EQ(symlink("elsewhere/target.ini", link.c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "changed", link.c_str()));
    struct stat info;
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFileText(target), "[S]\r\nK=changed\r\n");
    EXPECT_EQ(ProfileText(link, "S", "K"), "changed");

    for (mode_t mask : {022, 077}) {
        SCOPED_TRACE(mask);
        const std::string created = sandbox.Path("new" + std::to_string(mask) + ".ini");
        const mode_t previous = umask(mask);
        const bool written = WritePrivateProfileStringA("S", "K", "v", created.c_str());
        umask(previous);
        ASSERT_TRUE(written);
        ASSERT_EQ(stat(created.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask);
    }

    const std::string owned = sandbox.Path("owned.ini");
    WriteFileText(owned, "[S]\r\nK=v\r\n");
    ASSERT_EQ(chmod(owned.c_str(), 0640), 0);
    const bool privileged = geteuid() == 0;
    const uid_t owner = privileged ? 65534 : geteuid();
    const gid_t group = privileged ? 65534 : getegid();
    ASSERT_EQ(chown(owned.c_str(), owner, group), 0);
    ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "changed", owned.c_str()));
    ASSERT_EQ(stat(owned.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_uid, owner);
    EXPECT_EQ(info.st_gid, group);
    EXPECT_EQ(ReadFileText(owned), "[S]\r\nK=changed\r\n");
}

// The rename needs only the folder: a file the caller may not write, in a
// folder it may, would be replaced all the same.
TEST(ProfileFile, AFileTheCallerMayNotWriteIsNotReplaced) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    Sandbox sandbox;
    ASSERT_EQ(chmod(sandbox.Root().c_str(), 0711), 0);
    const std::string folder = sandbox.Folder("shared");
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    const std::string file = folder + "/owned.ini";
    WriteFileText(file, "[S]\r\nK=v\r\n");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        SetLastError(0);
        const bool refused = !WritePrivateProfileStringA("S", "K", "changed", file.c_str()) &&
                             GetLastError() == ERROR_ACCESS_DENIED;
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFileText(file), "[S]\r\nK=v\r\n");
}

// A Windows folder longer than Windows allows still holds the files named
// without a folder: writing such a name creates it there, reading finds it.
TEST(ProfileFile, ABareNameLivesInAWindowsFolderOfAnyLength) {
    Sandbox sandbox;
    std::string windows = sandbox.Root();
    while (windows.size() <= MAX_PATH) windows += "/" + std::string(60, 'w');
    std::filesystem::create_directories(windows);
    setenv("COMPAT_WINDIR", windows.c_str(), 1);
    EXPECT_TRUE(WritePrivateProfileStringA("S", "K", "long", "GenLongFolder.ini"));
    EXPECT_EQ(ReadFileText(windows + "/GenLongFolder.ini"), "[S]\r\nK=long\r\n");
    EXPECT_EQ(ProfileText("GenLongFolder.ini", "S", "K"), "long");
    unsetenv("COMPAT_WINDIR");
    std::filesystem::remove("GenLongFolder.ini");  // where a wrong resolution would put it
}

// Two processes write 500 keys each at the same time to one INI file, and
// two others as many values to the registry file; no write is lost.
TEST(ProfileFile, ConcurrentWritersLoseNothing) {
    Sandbox sandbox;
    const std::string file = sandbox.Path("shared.ini");
    // In a folder of its own, so that its writers do not wait for the INI's.
    const std::string registry = sandbox.Folder("registry") + "/registry.reg";
    setenv("COMPAT_REGISTRY", registry.c_str(), 1);
    const int kKeys = 500;
    auto name = [](int writer, int i) { return "w" + std::to_string(writer) + "_" + std::to_string(i); };
    std::vector<pid_t> children;
    for (int writer = 0; writer < 4; ++writer) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = true;
            HKEY key = nullptr;
            if (writer >= 2)
                ok = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &key, nullptr) == ERROR_SUCCESS;
            for (int i = 0; ok && i < kKeys; ++i) {
                std::string text = name(writer, i);
                if (writer < 2)
                    ok = WritePrivateProfileStringA("Shared", text.c_str(), text.c_str(), file.c_str());
                else
                    ok = RegSetValueExA(key, text.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, KEY_READ, &key), ERROR_SUCCESS);
    int iniFound = 0, registryFound = 0;
    for (int i = 0; i < kKeys; ++i) {
        for (int writer = 0; writer < 2; ++writer) iniFound += ProfileText(file, "Shared", name(writer, i).c_str()) == name(writer, i);
        for (int writer = 2; writer < 4; ++writer) {
            char value[32] = "";
            DWORD size = sizeof value;
            registryFound += RegQueryValueExA(key, name(writer, i).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                                              &size) == ERROR_SUCCESS && name(writer, i) == value;
        }
    }
    RegCloseKey(key);
    unsetenv("COMPAT_REGISTRY");
    EXPECT_EQ(iniFound, 2 * kKeys);
    EXPECT_EQ(registryFound, 2 * kKeys);
}

// Runs work in a child process, which must end within seconds; its exit
// code, or -1 when it had to be killed.
int InChild(const std::function<int()>& work, int seconds) {
    pid_t child = fork();
    if (child == 0) _exit(work());
    for (int tenths = 0; tenths < seconds * 10; ++tenths) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        usleep(100000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

// A FIFO or a device may never end (a FIFO without a writer blocks its
// reader, /dev/zero has no end): it is never read, as if it were absent,
// and never replaced by a write. Devices are only read here: a write that
// replaced one would replace the system's.
TEST(ProfileFile, FilesThatAreNotRegularAreNotRead) {
    Sandbox sandbox;
    const std::string fifo = sandbox.Path("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        bool write;
    } cases[] = {{fifo, true}, {"/dev/zero", false}};
    enum { ReadNotDefault = 1, WriteStored = 2, RegistryOpened = 4, RegistryCreated = 8 };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        int failed = InChild(
            [&] {
                int failures = 0;
                if (ProfileText(c.path, "S", "K") != "(missing)") failures |= ReadNotDefault;
                if (c.write && WritePrivateProfileStringA("S", "K", "v", c.path.c_str())) failures |= WriteStored;
                setenv("COMPAT_REGISTRY", c.path.c_str(), 1);
                HKEY key = nullptr;
                if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key) != ERROR_FILE_NOT_FOUND)
                    failures |= RegistryOpened;
                if (c.write && RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, &key, nullptr) != ERROR_ACCESS_DENIED)
                    failures |= RegistryCreated;
                return failures;
            },
            20);
        EXPECT_NE(failed, -1) << "did not end";
        EXPECT_EQ(failed & ReadNotDefault, 0) << "the profile read did not answer its default";
        EXPECT_EQ(failed & WriteStored, 0) << "the profile write succeeded";
        EXPECT_EQ(failed & RegistryOpened, 0) << "the registry key was not absent";
        EXPECT_EQ(failed & RegistryCreated, 0) << "the registry key was created";
        struct stat info;
        ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
    }
}

}  // namespace
