#include "e2e/Programs.h"

#include <chrono>

namespace {

// Stand-ins that exist on one platform only: the COM server is loaded by the
// real regsvr32 under Windows; on Linux a stand-in plays the tool itself.
#ifdef KORVEL_COM
const char kStandinDll[] = KORVEL_COM;
const char kStandinRegsvr32[] = "";
#else
const char kStandinDll[] = "";
const char kStandinRegsvr32[] = REGSVR32_STANDIN;
#endif

// How long a program started by mistake gets to show itself in the record;
// a start under Wine takes a few hundred milliseconds.
const int kSettleMs = 1500;
const int kRecordWaitMs = 20000;

const char* const kVariables[] = {"COMPAT_REGISTRY", "COMPAT_WINDIR", "KORVEL_RECORD",
                                  "KORVEL_EXIT_CODE", "ProgramFiles(x86)"};

struct Root {
    HKEY key;
    REGSAM view;
};

Root RootOf(Place place) {
    switch (place) {
    case Place::UserWow32: return {HKEY_CURRENT_USER, KEY_WOW64_32KEY};
    case Place::User: return {HKEY_CURRENT_USER, 0};
    case Place::MachineWow32: return {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY};
    case Place::Machine: return {HKEY_LOCAL_MACHINE, 0};
    }
    return {HKEY_CURRENT_USER, 0};
}

// Removes Software\Korvel from every place the programs look.
void ClearKeys() {
    for (Place place : {Place::UserWow32, Place::User, Place::MachineWow32, Place::Machine}) {
        Root root = RootOf(place);
        HKEY software = nullptr;
        if (RegOpenKeyExA(root.key, "Software", 0, KEY_ALL_ACCESS | root.view, &software) !=
            ERROR_SUCCESS)
            continue;
        RegDeleteTreeA(software, "Korvel");
        RegCloseKey(software);
    }
}

// Complete lines only: a stand-in may be writing the last one.
std::vector<Record> ParseRecords(const std::string& text) {
    std::vector<Record> records;
    for (const std::string& line : CompleteLines(text)) {
        std::vector<std::string> fields = SplitFields(line, '\t');
        Record record;
        const std::string registered = "registered ";
        if (fields[0].compare(0, registered.size(), registered) == 0)
            record.dll = fields[0].substr(registered.size());
        else
            EXPECT_EQ(fields[0], "started") << "record line: " << line;
        if (fields.size() >= 3) {
            record.program = fields[1];
            record.args.assign(fields.begin() + 3, fields.end());
            EXPECT_EQ(fields[2], std::to_string(record.args.size() + 1))
                << "argument count of " << record.program;
        }
        records.push_back(record);
    }
    return records;
}

std::string FormattedSystemText(DWORD flags, DWORD language, DWORD code) {
    char text[10240];
    DWORD length = FormatMessageA(flags, nullptr, code, language, text, sizeof text, nullptr);
    return std::string(text, length);
}

// The program a variable names (the shipped 32-bit build, say), else the
// one built beside these tests.
std::string ProgramUnderTest(const char* variable, const char* built) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(variable, path, sizeof path);
    return HostPath(length > 0 && length < sizeof path ? path : built);
}

}  // namespace

bool ProgramsSeeOnlyThe32BitView() {
    char bits[4];
    DWORD length = GetEnvironmentVariableA("GEN_PROGRAMS_BITS", bits, sizeof bits);
    return length == 2 && bits[0] == '3' && bits[1] == '2';
}

std::string RunProgram() { return ProgramUnderTest("GEN_RUN_PROGRAM", RUN_PROGRAM); }
std::string InstallProgram() { return ProgramUnderTest("GEN_INSTALL_PROGRAM", INSTALL_PROGRAM); }
std::string RecorderProgram() { return HostPath(RECORDER); }
std::string StandinDll() { return *kStandinDll ? HostPath(kStandinDll) : ""; }
std::string StandinRegsvr32() { return *kStandinRegsvr32 ? HostPath(kStandinRegsvr32) : ""; }

std::string SamePath(const std::string& path) {
    std::string same;
    for (char c : path) {
        if (c == '\\') c = '/';
        if (c == '/' && !same.empty() && same.back() == '/') continue;
        same += c;
    }
    return same;
}

std::string SystemText(DWORD code) {
    return FormattedSystemText(FORMAT_MESSAGE_FROM_SYSTEM, 0, code);
}

std::string LauncherSystemText(DWORD code) {
    return FormattedSystemText(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), code);
}

void ProgramTest::SetUp() {
    SetEnvironmentVariableA("COMPAT_REGISTRY", sandbox.Path("registry.reg").c_str());
    SetEnvironmentVariableA("COMPAT_WINDIR", sandbox.Folder("Windows").c_str());
    SetEnvironmentVariableA("KORVEL_RECORD", sandbox.Path("record.txt").c_str());
    // The sign of 64-bit Windows; the tests of 32-bit Windows remove it.
    SetEnvironmentVariableA("ProgramFiles(x86)", "C:\\Program Files (x86)");
    ClearKeys();
}

void ProgramTest::TearDown() {
    ClearKeys();
    for (const char* name : kVariables) SetEnvironmentVariableA(name, nullptr);
}

std::string ProgramTest::Stored(const Value& value) const {
    return value.folder.empty() ? "" : sandbox.Path(value.folder);
}

void ProgramTest::Store(const Value& value, const char* name) const {
    Root root = RootOf(value.place);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root.key, "Software\\Korvel", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS | root.view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (value.type != REG_NONE) {
        std::string text = Stored(value);
        EXPECT_EQ(RegSetValueExA(key, name, 0, value.type,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1)),
                  ERROR_SUCCESS);
    }
    RegCloseKey(key);
}

Outcome ProgramTest::Launch(const std::string& program, const std::string& arguments,
                            const std::string& folder) const {
    BoxWatcher watcher;
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    long exitCode = RunAndWait(program, commandLine, folder);
    return {exitCode, watcher.Stop()};
}

std::vector<Record> ProgramTest::RecordsSoFar() const {
    return ParseRecords(ReadFileText(sandbox.Path("record.txt")));
}

std::vector<Record> ProgramTest::Records(size_t count) const {
    return ParseRecords(WaitForLines(sandbox.Path("record.txt"), count,
                                     std::chrono::milliseconds(kRecordWaitMs),
                                     std::chrono::milliseconds(kSettleMs)));
}
