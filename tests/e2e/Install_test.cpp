// The setup tool end to end: when it registers the COM server, with which
// tool and path, that it waits for the tool, and when it stays silent.
#include "e2e/Programs.h"

#include <filesystem>

namespace {

const char kValueName[] = "SDK Installation path";
const char kServer[] = "\\64\\KorvelCOM.dll";

struct InstallCase {
    const char* name;
    std::vector<Value> values;
    const char* arguments;
    const char* registered;  // the SDK folder whose server is registered, or null
    // false: the values lie in the 64-bit view alone, where a 32-bit program
    // does not look; it shows the box of a missing key instead.
    bool seenBy32BitPrograms = true;
};

const InstallCase kInstallCases[] = {
    {"RegistersWithEightyZero", {{Place::User, "Korvel SDK"}}, "80 0", "Korvel SDK"},
    {"SecondNumberIsNotLookedAt", {{Place::Machine, "Korvel SDK"}}, "80 7 more", "Korvel SDK", false},
    {"TrailingBackslash", {{Place::User, "Korvel SDK\\"}}, "80 0", "Korvel SDK\\"},
    {"PerUserBeforeMachine",
     {{Place::User, "A"}, {Place::MachineWow32, "B"}, {Place::Machine, "B"}}, "80 0", "A"},
    {"Machine32BitViewFirst", {{Place::MachineWow32, "A"}, {Place::Machine, "B"}}, "80 0", "A"},
    {"SdkFolderOutsideTheCodePage", {{Place::User, "Ωmega SDK"}}, "80 0", "Ωmega SDK"},
    {"OneNumberOnly", {{Place::User, "Korvel SDK"}}, "80", nullptr},
    {"NoNumbers", {{Place::User, "Korvel SDK"}}, "", nullptr},
    {"Letters", {{Place::User, "Korvel SDK"}}, "abc", nullptr},
    {"OtherAction", {{Place::User, "Korvel SDK"}}, "81 0", nullptr},
    // Only the first key found is read, and a missing value is no error.
    {"PerUserKeyWithoutValue", {{Place::User, "", REG_NONE}, {Place::Machine, "B"}}, "80 0",
     nullptr},
    {"ExpandableText", {{Place::User, "Korvel SDK", REG_EXPAND_SZ}}, "80 0", nullptr},
    // Would name \64\KorvelCOM.dll at the root of the current drive.
    {"EmptyText", {{Place::User, ""}}, "80 0", nullptr},
};

void PrintTo(const InstallCase& c, std::ostream* out) { *out << c.name; }

// The box of a missing SDK folder.
std::vector<SeenBox> MissingKeyBox() {
    std::string text = SystemText(ERROR_FILE_NOT_FOUND);
    return {{"Error", "Couldn't obtain SDK installation path" + (text.empty() ? "" : ":\n\n" + text),
             MB_OK, true}};
}

class InstallTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        // install runs from a folder of its own, and in another current
        // folder: each holds a regsvr32.exe that must not be the one run.
        sandbox.Folder("bin");
        CopyProgram(InstallProgram(), sandbox.Path("bin\\install.exe"));
        CopyProgram(RecorderProgram(), sandbox.Path("bin\\regsvr32.exe"));
        sandbox.Folder("cwd");
        CopyProgram(RecorderProgram(), sandbox.Path("cwd\\regsvr32.exe"));

        char folder[MAX_PATH] = "";
        UINT length = GetSystemDirectoryA(folder, sizeof folder);
        ASSERT_GT(length, 0u);
        ASSERT_LT(length, sizeof folder);
        systemFolder = folder;
        // Linux: the system folder lies in the sandbox and gets the stand-in
        // tool; Windows has the real one.
        if (!StandinRegsvr32().empty()) {
            std::filesystem::create_directories(systemFolder);
            CopyProgram(StandinRegsvr32(), systemFolder + "/regsvr32.exe");
        }
    }

    // Stores the values, each folder holding the stand-in server.
    void Install(const std::vector<Value>& values) {
        for (const Value& value : values) {
            Store(value, kValueName);
            if (value.folder.empty() || StandinDll().empty()) continue;
            sandbox.Folder(value.folder + "\\64");
            CopyProgram(StandinDll(), sandbox.Path(value.folder + kServer));
        }
    }

    Outcome Launch(const std::string& arguments) {
        return ProgramTest::Launch(sandbox.Path("bin\\install.exe"), arguments,
                                   sandbox.Path("cwd"));
    }

    // The registration of the server of the SDK folder stored as folderText:
    // the system's tool, run with /s and the path.
    void ExpectRegistered(const std::vector<Record>& records, const std::string& folderText) {
        std::string server = folderText + kServer;
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(SamePath(records[0].program), SamePath(systemFolder + "\\regsvr32.exe"));
        EXPECT_EQ(records[0].args, (std::vector<std::string>{"/s", server}));
        // Windows: the real tool loaded the stand-in server from that path.
        EXPECT_EQ(records[0].dll.empty(), StandinDll().empty());
        if (!records[0].dll.empty()) {
            EXPECT_EQ(SamePath(records[0].dll), SamePath(server));
        }
    }

    std::string systemFolder;
};

class InstallCases : public InstallTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallCases, RegistersTheServerOfTheFirstKeyFoundOrStaysSilent) {
    const InstallCase& c = GetParam();
    Install(c.values);

    Outcome outcome = Launch(c.arguments);

    if (!c.seenBy32BitPrograms && ProgramsSeeOnlyThe32BitView()) {
        EXPECT_EQ(outcome.exitCode, -1);
        EXPECT_EQ(outcome.boxes, MissingKeyBox());
        EXPECT_EQ(Records(0).size(), 0u);
        return;
    }
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.boxes, std::vector<SeenBox>{});
    if (c.registered) {
        // Read at once: install must have waited for the tool, which records late.
        ExpectRegistered(RecordsSoFar(), sandbox.Path(c.registered));
    } else {
        EXPECT_EQ(Records(0).size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Registry, InstallCases, ::testing::ValuesIn(kInstallCases),
                         [](const ::testing::TestParamInfo<InstallCase>& info) {
                             return std::string(info.param.name);
                         });

#ifdef _WIN32
// The system's regsvr32.exe, in the system folder the programs under test
// see, replaced by the recorder until destruction (WINEDLLOVERRIDES has Wine
// run the planted file: regsvr32.exe=n,b). A copy left by an interrupted run
// is the original.
class PlantedTool {
public:
    PlantedTool() {
        char folder[MAX_PATH] = "";
        UINT length = ProgramsSeeOnlyThe32BitView() ? GetSystemWow64DirectoryA(folder, sizeof folder)
                                                    : GetSystemDirectoryA(folder, sizeof folder);
        EXPECT_GT(length, 0u);
        tool = std::string(folder) + "\\regsvr32.exe";
        saved = tool + ".saved";
        if (!std::filesystem::exists(saved)) CopyFileA(tool.c_str(), saved.c_str(), TRUE);
        CopyProgram(RecorderProgram(), tool);
    }
    ~PlantedTool() {
        if (CopyFileA(saved.c_str(), tool.c_str(), FALSE)) DeleteFileA(saved.c_str());
    }
    PlantedTool(const PlantedTool&) = delete;
    PlantedTool& operator=(const PlantedTool&) = delete;

private:
    std::string tool, saved;
};
#else
// Natively the system folder of the sandbox holds the stand-in tool already.
struct PlantedTool {
    PlantedTool() {}
};
#endif

// A server that fails to register: install exits with the tool's code and
// shows nothing, as /s asked.
TEST_F(InstallTest, FailedRegistrationExitsWithTheToolsCode) {
    Install({{Place::User, "Korvel SDK"}});
    PlantedTool tool;
    SetEnvironmentVariableA("KORVEL_EXIT_CODE", "5");

    Outcome outcome = Launch("80 0");

    EXPECT_EQ(outcome.exitCode, 5);
    EXPECT_EQ(outcome.boxes, std::vector<SeenBox>{});
    std::vector<Record> records = RecordsSoFar();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].args,
              (std::vector<std::string>{"/s", sandbox.Path("Korvel SDK") + kServer}));
}

TEST_F(InstallTest, MissingKeyIsReported) {
    Outcome outcome = Launch("80 0");

    EXPECT_EQ(outcome.exitCode, -1);
    EXPECT_EQ(outcome.boxes, MissingKeyBox());
    EXPECT_EQ(Records(0).size(), 0u);
}

// Without "ProgramFiles(x86)" the system is 32-bit Windows: nothing to do.
TEST_F(InstallTest, NothingOn32BitWindows) {
    Install({{Place::User, "Korvel SDK"}});
    SetEnvironmentVariableA("ProgramFiles(x86)", nullptr);

    Outcome outcome = Launch("80 0");

    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.boxes, std::vector<SeenBox>{});
    EXPECT_EQ(Records(0).size(), 0u);
}

}  // namespace
