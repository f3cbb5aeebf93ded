// The runtime's shared stream opening and the low-level file calls beside it,
// as Windows and Wine answer them.
#include <io.h>
#include <share.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "support/Sandbox.h"

namespace {

#ifdef _WIN32
const char kNullDevice[] = "NUL";
#else
const char kNullDevice[] = "/dev/null";
#endif

class SharedOpen : public ::testing::Test {
protected:
    void SetUp() override {
        path = sandbox.Path("shared.bin");
        FILE* file = fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        fputs("abcdef", file);
        fclose(file);
    }
    Sandbox sandbox;
    std::string path;
};

TEST_F(SharedOpen, ReadersShareAndAWriterIsAlone) {
    const struct {
        const char* firstMode;
        int firstShare;
        const char* secondMode;
        int secondShare;
        bool opens;
    } cases[] = {
        {"rb", _SH_DENYWR, "rb", _SH_DENYWR, true},    {"rb", _SH_DENYWR, "r+b", _SH_DENYRW, false},
        {"rb", _SH_DENYWR, "ab", _SH_DENYRW, false},   {"r+b", _SH_DENYRW, "rb", _SH_DENYWR, false},
        {"w+b", _SH_DENYRW, "rb", _SH_DENYWR, false},  {"rb", _SH_DENYRW, "rb", _SH_DENYWR, false},
        {"a+b", _SH_DENYRW, "r+b", _SH_DENYRW, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.firstMode) + " then " + c.secondMode);
        FILE* first = _fsopen(path.c_str(), c.firstMode, c.firstShare);
        ASSERT_NE(first, nullptr);
        errno = 0;
        FILE* second = _fsopen(path.c_str(), c.secondMode, c.secondShare);
        EXPECT_EQ(second != nullptr, c.opens);
        if (second) {
            fclose(second);
        } else {
            EXPECT_EQ(errno, EACCES);
        }
        fclose(first);
    }
}

TEST_F(SharedOpen, ARefusedOpenChangesNothing) {
    FILE* reader = _fsopen(path.c_str(), "rb", _SH_DENYWR);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(_fsopen(path.c_str(), "wb", _SH_DENYRW), nullptr);  // would truncate
    fclose(reader);
    EXPECT_EQ(ReadFileText(path), "abcdef");

    // A folder is no stream, in any mode; a missing file in "r" mode neither.
    for (const char* mode : {"rb", "r+b", "ab", "w+b"}) {
        SCOPED_TRACE(mode);
        errno = 0;
        EXPECT_EQ(_fsopen(sandbox.Root().c_str(), mode, _SH_DENYRW), nullptr);
        EXPECT_EQ(errno, EACCES);
    }
    errno = 0;
    EXPECT_EQ(_fsopen(sandbox.Path("absent").c_str(), "rb", _SH_DENYWR), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(SharedOpen, SizePositionAndTruncation) {
    FILE* file = _fsopen(path.c_str(), "r+b", _SH_DENYRW);
    ASSERT_NE(file, nullptr);
    int descriptor = _fileno(file);
    EXPECT_EQ(_filelengthi64(descriptor), 6);
    char byte = 0;
    ASSERT_EQ(_fseeki64(file, 2, SEEK_SET), 0);
    ASSERT_EQ(fread(&byte, 1, 1, file), 1u);
    EXPECT_EQ(byte, 'c');
    EXPECT_EQ(_ftelli64(file), 3);

    // Cut below the stream: a seek drops what it had read ahead.
    EXPECT_EQ(_chsize_s(descriptor, 3), 0);
    EXPECT_EQ(_filelengthi64(descriptor), 3);
    ASSERT_EQ(_fseeki64(file, 3, SEEK_SET), 0);
    EXPECT_EQ(fread(&byte, 1, 1, file), 0u);
    // Past 32 bits, where the file system can hold such a file sparse.
    if (_chsize_s(descriptor, 0x100000000ll) == 0) {
        EXPECT_EQ(_filelengthi64(descriptor), 0x100000000ll);
        EXPECT_EQ(_fseeki64(file, 0, SEEK_END), 0);
        EXPECT_EQ(_ftelli64(file), 0x100000000ll);
        EXPECT_EQ(_chsize_s(descriptor, 0), 0);
    }
    EXPECT_EQ(_commit(descriptor), 0);
    fclose(file);
}

TEST_F(SharedOpen, CommitFailsWhereTheDeviceCannotBeSynced) {
    FILE* device = _fsopen(kNullDevice, "w+b", _SH_DENYRW);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(fflush(device), 0);
    EXPECT_EQ(_commit(_fileno(device)), -1);
    fclose(device);
}

TEST_F(SharedOpen, AccessAndUnlink) {
    EXPECT_EQ(_access(path.c_str(), 0), 0);
    EXPECT_EQ(_access((sandbox.Root() + "\\").c_str(), 0), 0);  // a folder, with its separator
    EXPECT_EQ(_unlink(path.c_str()), 0);
    EXPECT_EQ(_access(path.c_str(), 0), -1);
    errno = 0;
    EXPECT_EQ(_unlink(path.c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
