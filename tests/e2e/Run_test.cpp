// The launcher end to end: which installation folder wins, what it starts,
// and the boxes it shows when it cannot.
#include "e2e/Programs.h"

namespace {

const char kValueName[] = "Installation path";
const char kFailure[] = "Couldn't obtain installation path";

std::string FailureText(DWORD code) {
    std::string text = SystemText(code);
    return text.empty() ? kFailure : kFailure + std::string(":\n\n") + text;
}

struct RunCase {
    const char* name;
    std::vector<Value> values;  // each folder named gets a Korvel.exe
    const char* arguments;
    const char* started;  // the folder whose Korvel.exe runs; null: the box instead
    DWORD code;           // without a start: the error the box reports
    // false: the values lie in the 64-bit view alone, where a 32-bit program
    // does not look; it shows the box of a missing key instead.
    bool seenBy32BitPrograms = true;
};

const RunCase kRunCases[] = {
    {"PerUser32BitView", {{Place::UserWow32, "A"}}, "", "A", 0},
    {"PerUserDefaultView", {{Place::User, "A"}}, "", "A", 0},
    {"Machine32BitView", {{Place::MachineWow32, "A"}}, "", "A", 0},
    {"MachineDefaultView", {{Place::Machine, "A"}}, "", "A", 0, false},
    {"PerUserBeforeMachine",
     {{Place::User, "A"}, {Place::MachineWow32, "B"}, {Place::Machine, "B"}}, "", "A", 0},
    {"Machine32BitViewFirst", {{Place::MachineWow32, "A"}, {Place::Machine, "B"}}, "", "A", 0},
    {"ArgumentsNotHandedOn", {{Place::User, "A"}}, "one \"two three\" 4", "A", 0},
    {"TrailingBackslash", {{Place::User, "A\\"}}, "", "A\\", 0},
    // Unquoted, the path would start the Program.exe planted in the sandbox.
    {"FolderWithBlanks", {{Place::User, "Program Files\\Korvel"}}, "", "Program Files\\Korvel", 0},
    // Folders the system's ANSI code page lacks, per-user and machine-wide.
    {"PerUserFolderOutsideTheCodePage", {{Place::User, "Ωmega данные"}}, "", "Ωmega данные", 0},
    {"MachineFolderOutsideTheCodePage", {{Place::MachineWow32, "日本語\\Korvel"}}, "", "日本語\\Korvel", 0},
    // Only the first key found is read: the machine-wide value is not looked at.
    {"PerUserKeyWithoutValue", {{Place::User, "", REG_NONE}, {Place::Machine, "B"}}, "", nullptr,
     ERROR_FILE_NOT_FOUND},
    {"ExpandableText", {{Place::User, "A", REG_EXPAND_SZ}}, "", nullptr, ERROR_SUCCESS},
    {"EmptyText", {{Place::User, ""}}, "", nullptr, ERROR_SUCCESS},
    {"NoKey", {}, "", nullptr, ERROR_FILE_NOT_FOUND},
};

void PrintTo(const RunCase& c, std::ostream* out) { *out << c.name; }

class RunTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        CopyProgram(RecorderProgram(), sandbox.Path("Program.exe"));
    }

    // Stores the values, each folder holding the stand-in application.
    void Install(const std::vector<Value>& values) {
        for (const Value& value : values) {
            Store(value, kValueName);
            if (value.folder.empty()) continue;
            sandbox.Folder(value.folder);
            CopyProgram(RecorderProgram(), sandbox.Path(value.folder + "\\Korvel.exe"));
        }
    }
};

class RunCases : public RunTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(RunCases, StartsTheApplicationOfTheFirstKeyFoundOrExplains) {
    const RunCase& c = GetParam();
    Install(c.values);

    Outcome outcome = Launch(RunProgram(), c.arguments);

    const bool seen = c.seenBy32BitPrograms || !ProgramsSeeOnlyThe32BitView();
    if (c.started && seen) {
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.boxes, std::vector<SeenBox>{});
        // Run does not wait for the application: its record may come later.
        std::vector<Record> records = Records(1);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(SamePath(records[0].program),
                  SamePath(sandbox.Path(c.started + std::string("\\Korvel.exe"))));
        EXPECT_EQ(records[0].args, std::vector<std::string>{});
    } else {
        EXPECT_EQ(outcome.exitCode, -1);
        const std::vector<SeenBox> box = {
            {"Error", FailureText(seen ? c.code : ERROR_FILE_NOT_FOUND), MB_OK, true}};
        EXPECT_EQ(outcome.boxes, box);
        EXPECT_EQ(Records(0).size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Registry, RunCases, ::testing::ValuesIn(kRunCases),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                             return std::string(info.param.name);
                         });

// The launcher's own box names the command line exactly as it was given,
// quotes and characters outside the ANSI code page included; Run still exits
// with 0.
TEST_F(RunTest, MissingApplicationIsReportedByTheLauncherBox) {
    for (const char* folder : {"Program Files\\Korvel", "Ωmega данные\\日本語"}) {
        SCOPED_TRACE(folder);
        Value value{Place::User, folder};
        Store(value, kValueName);
        sandbox.Folder(value.folder);

        Outcome outcome = Launch(RunProgram(), "");

        std::string commandLine = "\"" + Stored(value) + "\\Korvel.exe\"";
        const std::vector<SeenBox> box = {{"Error",
                                           "CreateProcess\n\n\"" + commandLine +
                                               "\"\n\nfailed with error 2: " + LauncherSystemText(2),
                                           MB_OK, false}};
        EXPECT_EQ(outcome.exitCode, 0);
        EXPECT_EQ(outcome.boxes, box);
    }
    EXPECT_EQ(Records(0).size(), 0u);
}

// A folder too long for the 10240-byte buffer, or one that fits but leaves no
// room to name the program, gets the error box: no cut path is started.
TEST_F(RunTest, TooLongFolderStartsNothing) {
    // Lengths of the stored text, its terminator not counted.
    for (size_t length : {10235u, 11000u}) {
        SCOPED_TRACE(length);
        Store({Place::User, std::string(length - sandbox.Root().size() - 1, 'x')}, kValueName);

        Outcome outcome = Launch(RunProgram(), "");

        EXPECT_EQ(outcome.exitCode, -1);
        ASSERT_EQ(outcome.boxes.size(), 1u);
        EXPECT_EQ(outcome.boxes[0].caption, "Error");
        EXPECT_EQ(outcome.boxes[0].text,
                  FailureText(length >= 10240 ? ERROR_MORE_DATA : ERROR_FILENAME_EXCED_RANGE));
    }
    EXPECT_EQ(Records(0).size(), 0u);
}

}  // namespace
