#include "gen/Pathw32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "gen/Err.h"
#include "gen/File.h"
#include "gen/Path.h"
#include "Raises.h"
#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const char kProgramFileName[] = "gen_tests.exe";
const char kRoot[] = "C:\\";
const bool kLongFolders = false;  // the system refuses folders past MAX_PATH
#else
const char kProgramFileName[] = "gen_tests";
const char kRoot[] = "/";
const bool kLongFolders = true;
#endif

std::string Variable(const char* name, bool* set) {
    char value[8192];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    *set = length > 0 && length < sizeof value;
    return *set ? std::string(value, length) : std::string();
}

// The assertion of this module's query at line.
void ExpectAssertion(const Raised& raised, int line) {
    EXPECT_EQ(raised.identity, InternalTemplates[AssertionTemplate]);
    EXPECT_NE(raised.text.find("'..\\Gen\\Pathw32.cpp' line " + std::to_string(line) + "\n"), std::string::npos)
        << raised.text;
}

// Each test may move the current folder and set TMP, AppData and (for the
// native build's Windows folder) COMPAT_WINDIR; all are put back afterwards.
class Folders : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[4096];
        DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
        ASSERT_GT(length, 0u);
        ASSERT_LT(length, sizeof folder);
        startFolder = folder;
        for (Saved& saved : variables) saved.value = Variable(saved.name, &saved.set);
    }
    void TearDown() override {
        EXPECT_TRUE(SetCurrentDirectoryA(startFolder.c_str()));
        for (const Saved& saved : variables)
            SetEnvironmentVariableA(saved.name, saved.set ? saved.value.c_str() : nullptr);
    }

    struct Saved {
        const char* name;
        bool set;
        std::string value;
    };
    Saved variables[3] = {{"TMP", false, {}}, {"AppData", false, {}}, {"COMPAT_WINDIR", false, {}}};
    std::string startFolder;
    Sandbox sandbox;
};

std::string SystemAnswer(UINT(WINAPI* call)(LPSTR, UINT)) {
    char folder[4096];
    UINT length = call(folder, sizeof folder);
    return length > 0 && length < sizeof folder ? std::string(folder, length) : std::string();
}

TEST_F(Folders, WindowsAndSystemFoldersAreTheSystemsWithOneSeparator) {
    std::string windows = SystemAnswer(&GetWindowsDirectoryA);
    std::string system = SystemAnswer(&GetSystemDirectoryA);
    ASSERT_FALSE(windows.empty());
    ASSERT_FALSE(system.empty());
    EXPECT_STREQ(WindowsFolder().data, (windows + "\\").c_str());
    EXPECT_STREQ(SystemFolder().data, (system + "\\").c_str());
}

TEST_F(Folders, CurrentFolderFollowsSetCurrentFolder) {
    ASSERT_NE(SetCurrentFolder(sandbox.Root().c_str()), 0);
    EXPECT_STREQ(CurrentFolder().data, (sandbox.Root() + "\\").c_str());

    // A refused change says so and leaves the folder where it was.
    EXPECT_EQ(SetCurrentFolder(sandbox.Path("absent").c_str()), 0);
    EXPECT_STREQ(CurrentFolder().data, (sandbox.Root() + "\\").c_str());

    // A root already ends in its separator and gets no second one.
    ASSERT_NE(SetCurrentFolder(kRoot), 0);
    EXPECT_STREQ(CurrentFolder().data, kRoot);
}

TEST_F(Folders, TempFolderKeepsTheSystemsSingleSeparator) {
    std::string temp = sandbox.Root() + "\\";
    SetEnvironmentVariableA("TMP", temp.c_str());
    EXPECT_STREQ(TempFolder().data, temp.c_str());
}

TEST_F(Folders, AFailingQueryRaisesTheAssertionOfItsLine) {
    // The system refuses a temporary folder longer than MAX_PATH.
    std::string tooLong = sandbox.Root() + "\\" + std::string(MAX_PATH, 't');
    SetEnvironmentVariableA("TMP", tooLong.c_str());
    RaiseCatcher catcher;
    ExpectAssertion(RaiseOf([] { TempFolder(); }), 30);
}

TEST_F(Folders, AFolderLongerThanItsBufferRaisesRatherThanReadingTheBuffer) {
    if (!kLongFolders) GTEST_SKIP() << "this system has no folders that long";
    // Nested down to a current folder of exactly 4095 characters: it would
    // need a buffer of 4096, one more than the query gives.
    ASSERT_NE(SetCurrentFolder(sandbox.Root().c_str()), 0);
    size_t length = sandbox.Root().size();
    while (length < 4095) {
        size_t left = 4095 - length - 1;  // after this step's separator
        size_t step = std::min<size_t>(200, left);
        if (left - step == 1) --step;  // never leave a single character
        std::string name(step, 'd');
        fs::create_directory(name);
        ASSERT_NE(SetCurrentFolder(name.c_str()), 0);
        length += 1 + step;
    }
    char folder[4097];
    ASSERT_EQ(GetCurrentDirectoryA(sizeof folder, folder), 4095u);
    RaiseCatcher catcher;
    ExpectAssertion(RaiseOf([] { CurrentFolder(); }), 25);
}

TEST_F(Folders, UserDataFolderIsTheProductsFolderInAppDataOrNothing) {
    SetEnvironmentVariableA("AppData", sandbox.Root().c_str());
    EXPECT_STREQ(UserDataFolder().data, (sandbox.Root() + "\\Korvel\\").c_str());

    SetEnvironmentVariableA("AppData", nullptr);
    EXPECT_STREQ(UserDataFolder().data, "");
    // Room for the value but not for "\Korvel" after it: no cut folder.
    SetEnvironmentVariableA("AppData", std::string(4090, 'a').c_str());
    EXPECT_STREQ(UserDataFolder().data, "");
}

// A file made for one test, removed afterwards (also beside the program).
// path is the library's spelling, which natively may hold "\\" that the
// host's calls do not take.
class PlantedFile {
public:
    explicit PlantedFile(std::string path) : path(std::move(path)) {
        for (char& c : host = this->path)
            if (c == '\\') c = '/';
        std::ofstream(host) << "x";
    }
    ~PlantedFile() {
        std::error_code ignored;
        fs::remove(FsPath(host), ignored);
    }
    PlantedFile(const PlantedFile&) = delete;
    PlantedFile& operator=(const PlantedFile&) = delete;
    const std::string path;

private:
    std::string host;
};

TEST_F(Folders, LocateFileTriesTheCurrentFolderBesideTheProgramPerUserAndWindows) {
    // Folders and names outside the ANSI code page are searched as others are.
    for (const std::string place : {"ascii", "Ωmega данные 日本語"}) {
        SCOPED_TRACE(place);
        ASSERT_NE(SetCurrentFolder(sandbox.Folder(place).c_str()), 0);
        SetEnvironmentVariableA("AppData", sandbox.Folder(place + "/appdata").c_str());
        sandbox.Folder(place + "/appdata/Korvel");
        SetEnvironmentVariableA("COMPAT_WINDIR", sandbox.Folder(place + "/windows").c_str());
        // Unique to this run, as the program's folder is shared.
        const std::string name = fs::path(sandbox.Root()).filename().string() + " " + place + ".dat";
        const std::string current = CurrentFolder().data + name;
        const std::string beside = ModifyPath(ModuleFileName().data, name.c_str()).data;
        const std::string perUser = UserDataFolder().data + name;
        const std::string windows = WindowsFolder().data + name;

        {
            PlantedFile inWindows(windows);
            EXPECT_STREQ(LocateFile(name.c_str()).data, windows.c_str());
            PlantedFile inUserFolder(perUser);
            EXPECT_STREQ(LocateFile(name.c_str()).data, perUser.c_str());
            PlantedFile besideProgram(beside);
            EXPECT_STREQ(LocateFile(name.c_str()).data, beside.c_str());
            PlantedFile inCurrent(current);
            EXPECT_STREQ(LocateFile(name.c_str()).data, current.c_str());
        }
        // Nothing found: not the path an earlier search found.
        EXPECT_STREQ(LocateFile(name.c_str()).data, "");
        // The empty name is the current folder itself.
        EXPECT_STREQ(LocateFile(Str()).data, CurrentFolder().data);
    }
}

TEST_F(Folders, LocateFileTakesTheProgramsExtensionBesideItAndTriesAFolderPartAsItIs) {
    ASSERT_NE(SetCurrentFolder(sandbox.Root().c_str()), 0);
    const std::string name = fs::path(sandbox.Root()).filename().string();
    // Beside the program a name without extension gets the program's
    // (none natively, ".exe" on Windows).
    PlantedFile besideProgram(ModifyPath(ModuleFileName().data, name.c_str()).data);
    EXPECT_EQ(fs::path(besideProgram.path).extension(), fs::path(ModuleFileName().data).extension());
    EXPECT_STREQ(LocateFile(name.c_str()).data, besideProgram.path.c_str());

    // With a folder part only the name itself is tried, not the same name
    // in the current folder or beside the program.
    const std::string relative = "sub\\" + name;
    PlantedFile inCurrent(sandbox.Path(name));
    EXPECT_STREQ(LocateFile(relative.c_str()).data, "");
    sandbox.Folder("sub");
    PlantedFile inSub(sandbox.Path("sub/" + name));
    EXPECT_STREQ(LocateFile(relative.c_str()).data, relative.c_str());
    EXPECT_TRUE(FileExists(LocateFile(relative.c_str()).data));
}

TEST(ModuleFileName, IsThisProgramsFileStoredAtStartUp) {
    EXPECT_NE(ModuleHandle, nullptr);
    EXPECT_EQ(ModuleHandle, GetModuleHandleA(nullptr));
    std::string path = ModuleFileName().data;
    EXPECT_EQ(path.substr(path.find_last_of("/\\") + 1), kProgramFileName);
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
}

// A sandbox of a.txt (5 bytes), B.TXT, noext and two subfolders.
class FileSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeSearchFixture(sandbox);
        sandbox.Folder("sub.txt");
        ASSERT_EQ(OpenFileSearchesForTesting(), 0u);
    }
    void TearDown() override { EXPECT_EQ(OpenFileSearchesForTesting(), 0u); }

    std::string Pattern(const char* name) const { return sandbox.Root() + "\\" + name; }
    // The names a cursor walks, checking it keeps one search open meanwhile.
    static std::set<std::string> Walk(FileSearch& search) {
        std::set<std::string> names;
        for (; !search.Exhausted(); search.Next()) {
            EXPECT_EQ(OpenFileSearchesForTesting(), 1u);
            EXPECT_EQ(search.Attributes() & _A_SUBDIR, 0u);
            names.insert(search.Name().data);
        }
        return names;
    }
    Sandbox sandbox;
};

TEST_F(FileSearchTest, WalksTheMatchingFilesAndClosesWhenExhausted) {
    // A name outside the ANSI code page comes back as it was written.
    const std::string unicode = "Ωmega данные 日本語.txt";
    WriteFileText(sandbox.Path(unicode), "");
    const time_t now = time(nullptr);
    FileSearch search;
    search.First(Pattern("*").c_str());
    ASSERT_FALSE(search.Exhausted());
    std::set<std::string> names;
    for (; !search.Exhausted(); search.Next()) {
        names.insert(search.Name().data);
        EXPECT_EQ(search.Attributes(), static_cast<uint32_t>(_A_ARCH)) << search.Name().data;
        if (strcmp(search.entry.name, "a.txt") == 0) {
            EXPECT_EQ(search.Size(), 5u);
            EXPECT_LT(std::abs(static_cast<double>(search.WriteTime() - now)), 600.0);
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{"a.txt", "B.TXT", "noext", unicode}));
    EXPECT_EQ(search.handle, -1);
    EXPECT_EQ(OpenFileSearchesForTesting(), 0u);

    search.First(Pattern("*.txt").c_str());
    EXPECT_EQ(Walk(search), (std::set<std::string>{"a.txt", "B.TXT", unicode}));
}

TEST_F(FileSearchTest, FoldersOnlyOrNothingLeaveTheCursorExhausted) {
    for (const char* pattern : {"sub*", "*.zzz"}) {
        SCOPED_TRACE(pattern);
        FileSearch search;
        search.First(Pattern(pattern).c_str());
        EXPECT_TRUE(search.Exhausted());
        EXPECT_EQ(OpenFileSearchesForTesting(), 0u);
    }
    FileSearch search;
    search.First((sandbox.Path("absent") + "\\*").c_str());
    EXPECT_TRUE(search.Exhausted());
}

TEST_F(FileSearchTest, ASearchLeftEarlyIsClosedOnRestartAndDestruction) {
    {
        FileSearch search;
        search.First(Pattern("*").c_str());
        ASSERT_FALSE(search.Exhausted());
        search.First(Pattern("*.txt").c_str());
        EXPECT_EQ(OpenFileSearchesForTesting(), 1u);
        EXPECT_EQ(Walk(search).size(), 2u);
        search.First(Pattern("noext").c_str());
        EXPECT_STREQ(search.Name().data, "noext");
    }
    EXPECT_EQ(OpenFileSearchesForTesting(), 0u);
}

// A cursor with static storage, constructed before the runtime's own
// statics: it is destroyed after them at exit, and still closes its search.
FileSearch searchOpenAtExit;

TEST(FileSearchAtExit, AStaticCursorLeftOpenClosesAfterTheRuntimesStatics) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::string program = ModuleFileName().data;
            searchOpenAtExit.First((program.substr(0, program.find_last_of("/\\") + 1) + "*").c_str());
            if (searchOpenAtExit.Exhausted()) std::_Exit(2);
            exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
