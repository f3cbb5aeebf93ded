// CreateProcessA and the calls on its handles, checked through a child that
// records what it was given (ChildProbe.cpp).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

struct ProbeRun {
    std::string module;
    std::string cwd;
    std::string var;
    std::vector<std::string> args;
};

std::string Field(std::istream& in, const std::string& key) {
    std::string line;
    std::getline(in, line);
    return line.compare(0, key.size() + 1, key + "=") == 0 ? line.substr(key.size() + 1) : "(missing " + key + ")";
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetEnvironmentVariableA("COMPAT_PROBE_OUT", out.c_str()));
        SetEnvironmentVariableA("COMPAT_PROBE_EXIT", nullptr);
        SetEnvironmentVariableA("COMPAT_PROBE_HOLD", nullptr);
        SetEnvironmentVariableA("COMPAT_PROBE_VAR", nullptr);
    }
    void TearDown() override {
        for (const char* name : {"COMPAT_PROBE_OUT", "COMPAT_PROBE_EXIT", "COMPAT_PROBE_HOLD", "COMPAT_PROBE_VAR"})
            SetEnvironmentVariableA(name, nullptr);
    }

    // A copy of the probe at relative (a path under the sandbox).
    std::string Plant(const std::string& relative) {
        std::string path = sandbox.Path(relative);
        fs::create_directories(fs::path(path).parent_path());
        CopyProgram(HostPath(CHILD_PROBE), path);
        return path;
    }

    // Starts a child, expecting success, and returns its handles.
    PROCESS_INFORMATION Start(const char* application, const std::string& commandLine,
                              const char* folder = nullptr) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        EXPECT_TRUE(CreateProcessA(application, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder,
                                   &startup, &process))
            << commandLine << " -> error " << GetLastError();
        return process;
    }

    // Runs a child to its end and returns its exit code.
    DWORD Run(const char* application, const std::string& commandLine, const char* folder = nullptr) {
        PROCESS_INFORMATION process = Start(application, commandLine, folder);
        if (process.hProcess == nullptr) return 0xDEADu;
        EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
        DWORD code = 0xDEADu;
        EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &code));
        EXPECT_TRUE(CloseHandle(process.hThread));
        EXPECT_TRUE(CloseHandle(process.hProcess));
        return code;
    }

    ProbeRun Read() {
        std::ifstream in(out, std::ios::binary);
        ProbeRun run;
        run.module = Field(in, "module");
        run.cwd = Field(in, "cwd");
        run.var = Field(in, "var");
        int count = std::atoi(Field(in, "args").c_str());
        std::string line;
        while (std::getline(in, line)) {
            if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
                run.args.push_back(line.substr(1, line.size() - 2));
            else
                run.args.push_back("(bad line " + line + ")");
        }
        EXPECT_EQ(static_cast<size_t>(count), run.args.size());
        in.close();  // Windows removes no open file
        fs::remove(out);
        return run;
    }

    static bool Same(const std::string& a, const std::string& b) {
        std::error_code error;
        return fs::equivalent(a, b, error);
    }

    Sandbox sandbox;
    std::string out = sandbox.Path("probe-out.txt");
};

using Args = std::vector<std::string>;

TEST_F(ProcessTest, QuotedProgramWithBlanksGetsArgumentsAndReturnsItsExitCode) {
    std::string program = Plant("with blank\\probe.exe");
    struct Case {
        const char* exitCode;
        DWORD expected;
    };
    // -1, the programs' failure code, must read as Windows reports it.
    for (Case c : {Case{"0", 0}, Case{"7", 7}, Case{"200", 200}, Case{"-1", 0xFFFFFFFFu}}) {
        SCOPED_TRACE(c.exitCode);
        SetEnvironmentVariableA("COMPAT_PROBE_EXIT", c.exitCode);
        EXPECT_EQ(Run(nullptr, "\"" + program + "\" a \"b c\""), c.expected);
        ProbeRun run = Read();
        EXPECT_TRUE(Same(run.module, program)) << run.module;
        EXPECT_EQ(run.args, (Args{"a", "b c"}));
    }
}

TEST_F(ProcessTest, ArgumentsAreSplitByTheRuntimeRules) {
    std::string program = Plant("probe.exe");
    struct Case {
        const char* tail;
        Args expected;
    };
    const Case cases[] = {
        {"a \t  b", {"a", "b"}},
        {R"(a\\b c\)", {R"(a\\b)", R"(c\)"}},  // backslashes without a quote are kept
        {R"("a\"b")", {R"(a"b)"}},             // an escaped quote inside quotes
        {R"(a\\\"b)", {R"(a\"b)"}},             // 2N+1 backslashes and a quote
        {R"("a\\" b)", {R"(a\)", "b"}},         // 2N backslashes and a closing quote
        {R"(a"b c"d)", {"ab cd"}},              // quotes inside a word group it
        {R"("" x "")", {"", "x", ""}},          // empty arguments
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        EXPECT_EQ(Run(nullptr, "\"" + program + "\" " + c.tail), 0u);
        EXPECT_EQ(Read().args, c.expected);
    }
}

TEST_F(ProcessTest, ApplicationNameRunsThatProgramWithTheCommandLineAsGiven) {
    std::string program = Plant("with blank\\probe.exe");
    EXPECT_EQ(Run(program.c_str(), "anything a \"b c\""), 0u);
    ProbeRun run = Read();
    EXPECT_TRUE(Same(run.module, program)) << run.module;
    EXPECT_EQ(run.args, (Args{"a", "b c"}));
}

// An unquoted first word with blanks: each stretch up to a blank is tried in
// turn, with ".exe" added to a name without extension. The child's arguments
// are compared only where the first stretch wins: past it Windows hands the
// line over unchanged and Wine quotes the program, so they split differently.
TEST_F(ProcessTest, UnquotedProgramIsFoundByTryingEachStretchInTurn) {
    struct Case {
        const char* name;
        std::vector<const char*> planted;
        const char* line;  // under the sandbox
        const char* expected;
        std::vector<std::string> args;  // empty: not compared
    };
    const Case cases[] = {
        {"an earlier stretch wins", {"dir one\\probe.exe", "dir.exe"}, "dir one\\probe.exe x", "dir.exe",
         {"one\\probe.exe", "x"}},
        {"a deeper stretch", {"dir one\\sub two\\probe.exe", "dir one\\sub.exe"}, "dir one\\sub two\\probe.exe x",
         "dir one\\sub.exe", {}},
        {"the whole word", {"dir one\\probe.exe"}, "dir one\\probe.exe x", "dir one\\probe.exe", {}},
        {".exe added", {"dir one\\probe.exe"}, "dir one\\probe x", "dir one\\probe.exe", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox folder;
        for (const char* relative : c.planted) {
            fs::create_directories(fs::path(folder.Path(relative)).parent_path());
            CopyProgram(HostPath(CHILD_PROBE), folder.Path(relative));
        }
        EXPECT_EQ(Run(nullptr, folder.Path(c.line)), 0u);
        ProbeRun run = Read();
        EXPECT_TRUE(Same(run.module, folder.Path(c.expected))) << run.module;
        if (!c.args.empty()) {
            // In the platform's form, as the line was written.
            std::vector<std::string> expected;
            for (const std::string& arg : c.args) expected.push_back(folder.Path(arg).substr(folder.Root().size() + 1));
            EXPECT_EQ(run.args, expected);
        }
    }
}

TEST_F(ProcessTest, MissingProgramInAnExistingFolderIsFileNotFound) {
    std::string missing = sandbox.Path("missing.exe");
    struct Case {
        const char* application;
        std::string line;
    };
    const Case cases[] = {
        {nullptr, "\"" + missing + "\" a"},
        {nullptr, missing + " a"},
        {missing.c_str(), "missing.exe a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::vector<char> line(c.line.begin(), c.line.end());
        line.push_back('\0');
        SetLastError(0);
        EXPECT_FALSE(CreateProcessA(c.application, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &process));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

TEST_F(ProcessTest, ChildStartsInTheGivenFolder) {
    std::string program = Plant("probe.exe");
    std::string folder = sandbox.Folder("work folder");
    EXPECT_EQ(Run(nullptr, "\"" + program + "\"", folder.c_str()), 0u);
    ProbeRun run = Read();
    EXPECT_TRUE(Same(run.cwd, folder)) << run.cwd;
    EXPECT_TRUE(run.args.empty());
}

TEST_F(ProcessTest, ChildInheritsEnvironmentChanges) {
    std::string line = "\"" + Plant("probe.exe") + "\"";
    // Names are the same whatever their case.
    ASSERT_TRUE(SetEnvironmentVariableA("Compat_Probe_Var", "first value"));
    EXPECT_EQ(Run(nullptr, line), 0u);
    EXPECT_EQ(Read().var, "first value");
    ASSERT_TRUE(SetEnvironmentVariableA("COMPAT_PROBE_VAR", "second"));
    EXPECT_EQ(Run(nullptr, line), 0u);
    EXPECT_EQ(Read().var, "second");
    ASSERT_TRUE(SetEnvironmentVariableA("compat_probe_var", nullptr));
    EXPECT_EQ(Run(nullptr, line), 0u);
    EXPECT_EQ(Read().var, "(unset)");
}

TEST_F(ProcessTest, StillActiveUntilTheChildEnds) {
    std::string program = Plant("probe.exe");
    std::string hold = sandbox.Path("hold");
    SetEnvironmentVariableA("COMPAT_PROBE_HOLD", hold.c_str());
    SetEnvironmentVariableA("COMPAT_PROBE_EXIT", "5");
    PROCESS_INFORMATION process = Start(nullptr, "\"" + program + "\"");
    ASSERT_NE(process.hProcess, nullptr);
    EXPECT_NE(process.dwProcessId, 0u);

    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 50), WAIT_TIMEOUT);

    std::ofstream(hold).close();
    EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), WAIT_OBJECT_0);  // stays signalled
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(CloseHandle(process.hProcess));
}

TEST_F(ProcessTest, TimedWaitEndsWhenTheChildDoes) {
    PROCESS_INFORMATION process = Start(nullptr, "\"" + Plant("probe.exe") + "\"");
    ASSERT_NE(process.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(process.hThread, 0), WAIT_OBJECT_0);  // its main thread ended with it
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

TEST_F(ProcessTest, HandlesCloseOnlyOnce) {
    PROCESS_INFORMATION process = Start(nullptr, "\"" + Plant("probe.exe") + "\"");
    ASSERT_NE(process.hProcess, nullptr);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
    for (HANDLE handle : {process.hThread, process.hProcess}) {
        EXPECT_TRUE(CloseHandle(handle));
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

}  // namespace
