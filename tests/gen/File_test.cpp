#include "gen/File.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "gen/Err.h"
#include "gen/Heap.h"
#include "Raises.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const std::string kProgramName = "gen_tests.exe";
const char kNullDevice[] = "NUL";
const unsigned kNewLineBytes = 2;  // text mode writes "\r\n"
#else
const std::string kProgramName = "gen_tests";
const char kNullDevice[] = "/dev/null";
const unsigned kNewLineBytes = 1;
#endif

const char kOther[] = "another error";

std::string Text(const Block& block) { return std::string(block.storageStart, block.Size()); }

// What a write leaves in its folder, counted.
size_t EntriesOf(const std::string& folder) {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        (void)entry;
        ++count;
    }
    return count;
}

// Each test gets a sandbox, a protected scope for raises it does not expect,
// and ends with no error in progress.
class FileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ErrorDepth, 0); }
    void TearDown() override { EXPECT_EQ(ErrorDepth, 0); }

    // A file of the sandbox holding bytes.
    std::string Make(const char* name, const std::string& bytes) {
        std::string path = sandbox.Path(name);
        WriteFileText(path, bytes);
        return path;
    }

    Sandbox sandbox;
    RaiseCatcher catcher;
};

void ExpectRaised(const Raised& raised, const char* message, const std::string& text) {
    EXPECT_EQ(raised.identity, message) << raised.text;
    EXPECT_EQ(raised.text, text);
}

TEST(StreamModeOf, ChoosesByIntersectionWriteOnlyAndAppendingPreference) {
    // Every combination of R, W, C, I and A; without W the mode is "r".
    const char* const withWrite[8] = {"r+", "r", "a", "w", "r+", "r", "a+", "w+"};  // by R, C, I
    for (unsigned bits = 0; bits < 32; ++bits) {
        bool r = bits & 1, w = bits & 2, c = bits & 4, i = bits & 8, a = bits & 16;
        std::string on, off;
        for (auto [set, letter] : {std::pair{r, 'R'}, {w, 'W'}, {c, 'C'}, {i, 'I'}, {a, 'A'}}) {
            on += set ? std::string(1, letter) : "";
            off += set ? letter : static_cast<char>(letter - 'A' + 'a');
        }
        SCOPED_TRACE("letters " + on);
        std::string expected = w ? withWrite[(r ? 4 : 0) + (c ? 2 : 0) + (i ? 1 : 0)] : "r";
        EXPECT_EQ(StreamModeOf(on.c_str()), expected + "b");
        EXPECT_EQ(StreamModeOf(off.c_str()), expected + "b");  // lower case is off
        EXPECT_EQ(StreamModeOf((on + "T").c_str()), expected + "t");
    }
}

TEST(StreamModeOf, TheEarlierFormOfALetterWins) {
    const struct {
        const char* letters;
        const char* mode;
    } cases[] = {
        {"RrWC", "a+b"},  // R on
        {"rRWC", "ab"},   // R off: the write-only mode
        {"WCIi", "wb"},
        {"WCiI", "ab"},
        {"", "rb"},
        {"RC", "rb"},  // read-only cannot create
        {"RMlB", "rb"},
        {"CIRWMlB", "w+b"},
        {"WtT", "r+b"},
        {"WTt", "r+t"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.letters);
        EXPECT_STREQ(StreamModeOf(c.letters), c.mode);
    }
}

TEST(PositionedMessage, PutsWhatIsKnownOfThePlaceBeforeTheMessage) {
    const struct {
        const char* source;
        int line, column;
        const char* text;
    } cases[] = {
        {"", -1, -1, "File damaged"},
        {nullptr, -1, 0, "Column 0: File damaged"},
        {"", 7, -1, "Line 7: File damaged"},
        {nullptr, 7, 3, "Line 7/3: File damaged"},
        {"a.ini", -1, -1, "a.ini: File damaged"},
        {"a.ini", -1, 3, "a.ini (column 3): File damaged"},
        {"a.ini", 0, -1, "a.ini (0): File damaged"},
        {"a.ini", 7, 3, "a.ini (7/3): File damaged"},
        {"100%s.txt", -5, -2, "100%s.txt: File damaged"},  // a source is not a format
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source ? c.source : "(null)") + " " + std::to_string(c.line) + " " +
                     std::to_string(c.column));
        EXPECT_STREQ(PositionedMessage(FileDamaged, c.source, c.line, c.column).data, c.text);
    }
}

TEST(FileMessages, AreFourteenDistinctConstantsInTheLibrarysOrder) {
    const char* const texts[FileMessageCount] = {
        "File is too short",  "File is too long", "Disk full on file write", "File seek error",
        "Can't create file",  "Bad file name",    "File not found",          "File is invalid",
        "File damaged",       "File is empty",    "File format is not supported",
        "Cannot delete file", "Cannot flush file", "Cannot close file",
    };
    for (unsigned i = 0; i < FileMessageCount; ++i) {
        SCOPED_TRACE(texts[i]);
        EXPECT_STREQ(FileMessages[i], texts[i]);
        for (unsigned j = 0; j < i; ++j) EXPECT_NE(FileMessages[i], FileMessages[j]);
    }
}

TEST_F(FileTest, LettersSelectWhatOpeningDoesToTheFile) {
    const struct {
        const char* letters;
        bool exists;           // before opening
        const char* contents;  // after writing "XY" at the start, closing; null: the open fails
        const char* message;   // the failure
    } cases[] = {
        {"RW", true, "XYcdef", nullptr},
        {"RW", false, nullptr, FileNotFound},
        {"W", false, nullptr, FileNotFound},
        {"WC", true, "abcdefXY", nullptr},  // appends wherever it seeks
        {"WC", false, "XY", nullptr},
        {"RWCI", true, "XY", nullptr},
        {"WCI", false, "XY", nullptr},
        {"RC", false, nullptr, CantCreateFile},  // "C" on, though read-only cannot create
        {"", false, nullptr, FileNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.letters) + (c.exists ? " existing" : " missing"));
        std::string path = sandbox.Path("letters.bin");
        std::error_code ignored;
        fs::remove(path, ignored);
        if (c.exists) WriteFileText(path, "abcdef");
        if (!c.contents) {
            ExpectRaised(RaiseOf([&] { File file(path.c_str(), c.letters); }), c.message,
                         path + ": " + c.message);
            continue;
        }
        {
            File file(path.c_str(), c.letters);
            file.Seek(0, SEEK_SET).Write("XY", 2);
        }
        EXPECT_EQ(ReadFileText(path), c.contents);
    }
}

TEST_F(FileTest, ReadsWritesSeeksAndMeasures) {
    std::string path = sandbox.Path("data.bin");
    File file(path.c_str(), "CIRWB");
    EXPECT_EQ(file.deferCount, 0);
    EXPECT_EQ(file.WriteText("hello "), 6u);
    EXPECT_EQ(file.Print("%s %d", "world", 42), 8u);
    // Buffered bytes count.
    EXPECT_EQ(file.Length(), 14);
    EXPECT_EQ(file.Position(), 14);
    EXPECT_TRUE(file.AtEnd());

    char buffer[8] = {};
    file.Seek(6, SEEK_SET).Read(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_EQ(file.Remaining(), 3);
    // Reading then writing and back needs no seek in between.
    file.Write("!", 1);
    file.Seek(-3, SEEK_CUR).Read(buffer, 4);
    EXPECT_EQ(std::string(buffer, 4), "ld!4");
    file.Seek(-2, SEEK_END);
    EXPECT_EQ(file.Position(), 12);

    file.Seek(5, SEEK_SET).TruncateHere();
    EXPECT_EQ(file.Length(), 5);
    EXPECT_TRUE(file.AtEnd());
    Block block = file.Seek(0, SEEK_SET).ReadBlock(5);
    EXPECT_EQ(Text(block), "hello");
    block.FreeStorage();

    ExpectRaised(RaiseOf([&] { file.Read(buffer, 1); }), FileTooShort, path + ": File is too short");
    ExpectRaised(RaiseOf([&] { file.Seek(-1, SEEK_SET); }), FileSeekError, path + ": File seek error");
    // The place cited, when there is one.
    file.lineNumber = 3;
    file.columnNumber = 9;
    ExpectRaised(RaiseOf([&] { file.Seek(-10, SEEK_CUR); }), FileSeekError,
                 path + " (3/9): File seek error");
    // An error leaves the file open.
    EXPECT_EQ(file.Length(), 5);
}

TEST_F(FileTest, TextModeTranslatesLineEnds) {
    std::string path = sandbox.Path("text.txt");
    File(path.c_str(), "CIWT").WriteText("a\nb\n");
    EXPECT_EQ(fs::file_size(path), 2 + 2 * kNewLineBytes);
    char buffer[4];
    File(path.c_str(), "RT").Read(buffer, 4);
    EXPECT_EQ(std::string(buffer, 4), "a\nb\n");
}

TEST_F(FileTest, ReadRestTakesLessThanTheMaximumAndAddsTheSuffix) {
    std::string path = Make("rest.bin", "0123456789");
    const char suffix[] = "<end>";
    const struct {
        unsigned skip, minimum, maximum;
        const char* message;  // null: read
        const char* result;
    } cases[] = {
        {0, 0, 10, FileTooLong, nullptr},
        {0, 0, 11, nullptr, "0123456789<end>"},
        {4, 6, 7, nullptr, "456789<end>"},
        {4, 7, 100, FileTooShort, nullptr},
        {10, 0, 1, nullptr, "<end>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.skip) + " " + std::to_string(c.minimum) + " " + std::to_string(c.maximum));
        File file(path.c_str(), "R");
        file.Seek(static_cast<int>(c.skip), SEEK_SET);
        if (c.message) {
            ExpectRaised(RaiseOf([&] { file.ReadRest(c.minimum, c.maximum, suffix, suffix + 5); }), c.message,
                         path + ": " + c.message);
            // Deferred, the result is an empty block and the error waits.
            file.BeginDefer();
            Block empty = file.ReadRest(c.minimum, c.maximum, suffix, suffix + 5);
            EXPECT_EQ(empty.storageStart, nullptr);
            EXPECT_TRUE(file.TakeError(c.message));
            continue;
        }
        Block block = file.ReadRest(c.minimum, c.maximum, suffix, suffix + 5);
        EXPECT_EQ(Text(block), c.result);
        EXPECT_TRUE(file.AtEnd());
        block.FreeStorage();
    }
}

// A block the heap refuses, its raise coming back (a developer continued in
// the debugger): nothing is read into the missing block, nor from the file.
TEST_F(FileTest, RefusedBlocksAreNotReadInto) {
    std::string path = Make("data.bin", "hello world");
    static int raises;
    raises = 0;
    RaiseHook previous = SetRaiseHookForTesting([](const char*, const char*) {
        ++raises;
        return true;
    });
    File file(path.c_str(), "RMlB");
    FailNextAllocationForTesting();
    Block block = file.ReadBlock(5);
    EXPECT_EQ(block.storageStart, nullptr);
    FailNextAllocationForTesting();
    Block rest = file.ReadRest(0, 100, nullptr, nullptr);
    EXPECT_EQ(rest.storageStart, nullptr);
    SetRaiseHookForTesting(previous);
    EXPECT_EQ(raises, 2);
    EXPECT_EQ(file.Position(), 0);
}

// A copy in chunks, seen through a destination that cannot be written with
// its errors deferred: the first failed write waits, the next chunk's write
// raises it. The source's position then tells how much the chunks read.
TEST_F(FileTest, CopyFileDataMovesAtMostTheMaximumInChunks) {
    std::string bytes(150000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    std::string sourcePath = Make("source.bin", bytes);
    std::string targetPath = Make("target.bin", "");

    {
        File source(sourcePath.c_str(), "R");
        File target(targetPath.c_str(), "RX");  // read-only
        Raised raised = RaiseOf([&] { CopyFileData(target, source, 0, 100000); });
        ExpectRaised(raised, DiskFullOnWrite, targetPath + ": Disk full on file write");
        EXPECT_EQ(source.Position(), 61440 + 38560);
    }
    {
        // One chunk: the failed write is still waiting afterwards.
        File source(sourcePath.c_str(), "R");
        File target(targetPath.c_str(), "RX");
        CopyFileData(target, source, 0, 61440);
        EXPECT_EQ(source.Position(), 61440);
        EXPECT_TRUE(target.TakeError(DiskFullOnWrite));
    }

    const struct {
        unsigned skip, maximum;
        size_t copied;
    } cases[] = {{50000, 100000, 100000}, {50000, 0xFFFFFFFFu, 100000}, {3, 10, 10}, {150000, 5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.skip) + " " + std::to_string(c.maximum));
        {
            File source(sourcePath.c_str(), "R");
            File target(targetPath.c_str(), "CIW");
            source.Seek(static_cast<int>(c.skip), SEEK_SET);
            CopyFileData(target, source, 0, c.maximum);
            EXPECT_EQ(source.Position(), static_cast<int>(c.skip + c.copied));
        }
        EXPECT_TRUE(ReadFileText(targetPath) == bytes.substr(c.skip, c.copied));
    }

    // Fewer bytes left than the minimum: the source says so, nothing is copied.
    File source(sourcePath.c_str(), "R");
    File target(targetPath.c_str(), "CIW");
    source.Seek(149990, SEEK_SET);
    ExpectRaised(RaiseOf([&] { CopyFileData(target, source, 11, 100); }), FileTooShort,
                 sourcePath + ": File is too short");
    EXPECT_EQ(source.Position(), 149990);
    EXPECT_EQ(target.Length(), 0);
}

TEST_F(FileTest, WholeFilesAreReadAndWrittenInOneCall) {
    // Names outside the ANSI code page are files as others are.
    sandbox.Folder("Ωmega данные");
    for (const char* name : {"whole.txt", "Ωmega данные\\日本語.txt"}) {
        SCOPED_TRACE(name);
        std::string path = sandbox.Path(name);
        WriteWholeFile(path.c_str(), "line one\nline two", 17);
        EXPECT_EQ(ReadFileText(path), "line one\nline two");

        const char suffix[] = "\n--";
        Block block = ReadWholeFile(path.c_str(), 0, 100, suffix, suffix + 3);
        EXPECT_EQ(Text(block), "line one\nline two\n--");
        block.FreeStorage();
        EXPECT_STREQ(ReadWholeText(path.c_str(), 17, 18, "!").data, "line one\nline two!");

        // A text ends at the first NUL; an empty one is the shared empty text.
        WriteWholeFile(path.c_str(), "ab\0cd", 5);
        EXPECT_STREQ(ReadWholeText(path.c_str(), 0, 100, "").data, "ab");
        WriteWholeFile(path.c_str(), "", 0);
        EXPECT_EQ(ReadWholeText(path.c_str(), 0, 100, "").data, EmptyText);

        ExpectRaised(RaiseOf([&] { ReadWholeText(path.c_str(), 0, 0, ""); }), FileTooLong,
                     path + ": File is too long");
        std::string missing = path + ".missing";
        ExpectRaised(RaiseOf([&] { ReadWholeFile(missing.c_str(), 0, 1, nullptr, nullptr); }), FileNotFound,
                     missing + ": File not found");
    }
}

TEST_F(FileTest, WholeFileWritesReplaceFilesOfAnyName) {
    // Greek, Cyrillic and Japanese names, as UTF-8 bytes: no ANSI code page
    // holds all three.
    for (const char* name : {"\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.txt",
                             "\xD0\xBA\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0.txt",
                             "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"}) {
        SCOPED_TRACE(name);
        Sandbox own;
        std::string path = own.Path(name);
        WriteWholeFile(path.c_str(), "first", 5);
        WriteWholeFile(path.c_str(), "second", 6);
        EXPECT_STREQ(ReadWholeText(path.c_str(), 0, 100, "").data, "second");
        EXPECT_EQ(EntriesOf(own.Root()), 1u);  // no temporary file beside it
    }
}

TEST_F(FileTest, AWholeFileThatCannotBeReplacedIsLeftAsItWas) {
    std::string folder = sandbox.Folder("a folder");
    for (const std::string& path : {folder, sandbox.Path("missing\\x.txt")}) {
        SCOPED_TRACE(path);
        ExpectRaised(RaiseOf([&] { WriteWholeFile(path.c_str(), "new", 3); }), CantCreateFile,
                     path + ": Can't create file");
    }
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(EntriesOf(sandbox.Root()), 1u);  // no temporary file left
}

#ifndef _WIN32
// A write the file system cuts short, as a full disk does: a child process
// under a file size limit.
TEST_F(FileTest, AWholeFileWriteCutShortKeepsTheOldContent) {
    std::string path = Make("full.txt", "old content");
    std::string text(100000, 'n');
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        Raised raised = RaiseOf([&] { WriteWholeFile(path.c_str(), text.data(), static_cast<unsigned>(text.size())); });
        _exit(raised.identity == DiskFullOnWrite && raised.text == path + ": Disk full on file write" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFileText(path), "old content");
    EXPECT_EQ(EntriesOf(sandbox.Root()), 1u);
}

// Replacing needs only the folder: a file the caller may not write, in a
// folder it may, would be replaced all the same.
TEST_F(FileTest, AWholeFileTheCallerMayNotWriteIsNotReplaced) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    fs::permissions(sandbox.Root(), fs::perms::others_exec, fs::perm_options::add);
    std::string folder = sandbox.Folder("shared");
    fs::permissions(folder, fs::perms::all);
    std::string path = folder + "/owned.txt";
    WriteFileText(path, "old content");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        Raised raised = RaiseOf([&] { WriteWholeFile(path.c_str(), "new", 3); });
        _exit(raised.identity == CantCreateFile && raised.text == path + ": Can't create file" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFileText(path), "old content");
    EXPECT_EQ(EntriesOf(folder), 1u);
}
#endif

TEST_F(FileTest, FileExistsAndRemoveFile) {
    std::string path = Make("gone.txt", "x");
    EXPECT_TRUE(FileExists(path.c_str()));
    EXPECT_TRUE(FileExists(sandbox.Root().c_str()));  // folders too
    RemoveFile(path.c_str());
    EXPECT_FALSE(FileExists(path.c_str()));
    ExpectRaised(RaiseOf([&] { RemoveFile(path.c_str()); }), CannotDeleteFile, path + ": Cannot delete file");
}

TEST_F(FileTest, DIsDeletedWhenClosed) {
    std::string path = Make("scratch.tmp", "abc");
    File file(path.c_str(), "RWD");
    EXPECT_TRUE(FileExists(path.c_str()));
    file.Close();
    EXPECT_EQ(file.stream, nullptr);
    EXPECT_FALSE(FileExists(path.c_str()));
    file.Close();  // closed: nothing more
}

TEST_F(FileTest, AFileThatIsNotOpenRefusesWithFileIsInvalid) {
    File file;
    EXPECT_EQ(file.fileName.data, nullptr);
    EXPECT_EQ(file.lineNumber, -1);
    char byte;
    ExpectRaised(RaiseOf([&] { file.Read(&byte, 1); }), FileIsInvalid, "File is invalid");
    ExpectRaised(RaiseOf([&] { file.Commit(); }), FileIsInvalid, "File is invalid");
    file.Close();

    std::string path = Make("closed.txt", "abc");
    file.Open(path.c_str(), "R").Close();
    // Opened again from its own texts, which the open replaces.
    EXPECT_EQ(file.Open(file.fileName.data, file.modeLetters.data).Length(), 3);
    file.Close();
    ExpectRaised(RaiseOf([&] { file.Length(); }), FileIsInvalid, path + ": File is invalid");
    // Deferred, the refusal returns nothing usable and waits.
    file.BeginDefer();
    EXPECT_EQ(file.Position(), -1);
    EXPECT_TRUE(file.TakeError(FileIsInvalid));
    EXPECT_EQ(file.WriteText("x"), 0u);
    EXPECT_TRUE(file.TakeError(FileIsInvalid));
    file.EndDefer();
}

TEST_F(FileTest, XDefersTheFailedOpenToTheNextOperation) {
    std::string path = sandbox.Path("absent.txt");
    File file(path.c_str(), "RX");
    EXPECT_EQ(file.stream, nullptr);
    EXPECT_EQ(file.deferCount, DeferredFileErrors);
    EXPECT_EQ(file.pendingError, FileNotFound);
    // Another message leaves it in place; the next operation raises it.
    EXPECT_FALSE(file.TakeError(FileTooShort));
    ExpectRaised(RaiseOf([&] { file.Length(); }), FileNotFound, path + ": File not found");
    EXPECT_EQ(file.pendingError, nullptr);

    File created(sandbox.Path("sub\\x.txt").c_str(), "RWCX");  // its folder is missing
    EXPECT_TRUE(created.TakeError(CantCreateFile));
    EXPECT_FALSE(created.TakeError(CantCreateFile));
}

TEST_F(FileTest, EndDeferRaisesWhenTheCountIsBackAtZero) {
    std::string path = Make("short.bin", "ab");
    File file(path.c_str(), "R");
    char buffer[4];
    file.BeginDefer().BeginDefer();
    file.Read(buffer, 4);
    EXPECT_EQ(file.pendingError, FileTooShort);
    file.EndDefer();
    EXPECT_EQ(file.pendingError, FileTooShort);
    ExpectRaised(RaiseOf([&] { file.EndDefer(); }), FileTooShort, path + ": File is too short");
    EXPECT_EQ(file.deferCount, 0);
    // A later failure raises at once.
    ExpectRaised(RaiseOf([&] { file.Seek(0, SEEK_SET).Read(buffer, 3); }), FileTooShort,
                 path + ": File is too short");
}

TEST_F(FileTest, DestructionRaisesThePendingErrorAndStillCloses) {
    std::string path = Make("pending.bin", "ab");
    Raised raised = RaiseOf([&] {
        File file(path.c_str(), "RWXD");
        char buffer[4];
        file.Read(buffer, 4);
    });
    ExpectRaised(raised, FileTooShort, path + ": File is too short");
    EXPECT_FALSE(FileExists(path.c_str()));  // closed, then deleted as "D" asks
}

TEST_F(FileTest, DestructionWhileAnotherErrorLeavesDropsItsOwn) {
    std::string path = Make("unwinding.bin", "ab");
    Raised raised = RaiseOf([&] {
        File file(path.c_str(), "RWXD");
        char buffer[4];
        file.Read(buffer, 4);  // pending
        RaiseError(kOther);
    });
    ExpectRaised(raised, kOther, kOther);
    EXPECT_EQ(ErrorDepth, 0);
    EXPECT_FALSE(FileExists(path.c_str()));
    // Nothing holds the file any more.
    File(path.c_str(), "CIRW");
}

TEST_F(FileTest, OneWriterOrManyReaders) {
    std::string path = Make("shared.bin", "abc");
    const struct {
        const char* first;
        const char* second;
        bool opens;
    } cases[] = {
        {"R", "R", true},      {"RMlB", "R", true},   {"R", "RW", false},
        {"RW", "R", false},    {"W", "W", false},     {"CIRWMlB", "RMlB", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " then " + c.second);
        File first(path.c_str(), c.first);
        File second(path.c_str(), (std::string(c.second) + "X").c_str());
        EXPECT_EQ(second.stream != nullptr, c.opens);
        EXPECT_EQ(second.TakeError(FileNotFound), !c.opens);
        first.Close();
        second.Close();
        File again(path.c_str(), (std::string(c.second) + "X").c_str());
        EXPECT_NE(again.stream, nullptr);
    }
}

TEST_F(FileTest, CommitPutsTheDataOnTheDiskOrSaysItCannot) {
    std::string path = sandbox.Path("commit.bin");
    File file(path.c_str(), "CIRW");
    file.WriteText("committed");
    EXPECT_EQ(fs::file_size(path), 0u);  // still in the stream's buffer
    file.Commit();
    EXPECT_EQ(fs::file_size(path), 9u);
    file.Close();

    // The null device takes the bytes but cannot be synced: a commit that
    // only handed them over would pass for done.
    File device(kNullDevice, "CIRW");
    device.WriteText("lost");
    ExpectRaised(RaiseOf([&] { device.Commit(); }), CannotFlushFile,
                 std::string(kNullDevice) + ": Cannot flush file");
}

TEST_F(FileTest, CommitOfAReaderHasNothingToDo) {
    // The system refuses to flush a handle it may not write to; nothing was
    // written through it, so nothing can be lost.
    std::string path = Make("reader.bin", "abc");
    File reader(path.c_str(), "R");
    char byte;
    reader.Read(&byte, 1).Commit();
    EXPECT_EQ(reader.Position(), 1);
    reader.Close();
    EXPECT_EQ(ReadFileText(path), "abc");
}

// Files past 2 GiB - 1: sizes and positions that signed 32 bits cannot hold.
TEST_F(FileTest, SizesPastTwoGigabytesAreInvalidNotWrapped) {
    std::string path = sandbox.Path("sparse.bin");
    WriteFileText(path, "");
    std::error_code error;
    fs::resize_file(path, INT_MAX, error);
    if (error) GTEST_SKIP() << "no sparse file of 2 GiB here: " << error.message();
    {
        File file(path.c_str(), "R");
        EXPECT_EQ(file.Length(), INT_MAX);
        EXPECT_EQ(file.Seek(0, SEEK_END).Position(), INT_MAX);
    }
    fs::resize_file(path, 0x100000005ull, error);  // 5 when wrapped to 32 bits
    if (error) GTEST_SKIP() << "no sparse file of 4 GiB here: " << error.message();
    File file(path.c_str(), "R");
    ExpectRaised(RaiseOf([&] { file.Length(); }), FileIsInvalid, path + ": File is invalid");
    ExpectRaised(RaiseOf([&] { file.Remaining(); }), FileIsInvalid, path + ": File is invalid");
    EXPECT_EQ(file.Position(), 0);
    ExpectRaised(RaiseOf([&] { file.Seek(1, SEEK_END).Position(); }), FileIsInvalid,
                 path + ": File is invalid");
}

// A raise without a protected scope: the box names the file, the program ends.
TEST(FileProcess, AnUncaughtFileErrorShowsItsBoxAndEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The same path in the death test's child, which runs this body again.
    std::string path = (fs::temp_directory_path() / "korvel-no-such-folder" / "nowhere.ini").string();
    ParentBoxWatcher watcher;
    EXPECT_EXIT(
        {
            ReadWholeText(path.c_str(), 0, 100, "");
            fprintf(stderr, "the raise came back\n");
        },
        ::testing::ExitedWithCode(RaisedExitStatus), "");
    if (InDeathTestChild()) return;
    std::vector<SeenBox> boxes = watcher.Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kProgramName + " error");
    EXPECT_EQ(boxes[0].text, path + ": File not found");
    EXPECT_TRUE(boxes[0].icon);
}

}  // namespace
