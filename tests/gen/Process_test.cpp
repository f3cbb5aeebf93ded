#include "gen/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/MessageBoxes.h"
#include "support/Sandbox.h"

namespace {

// The system's text for code, as the library asks for it.
std::string SystemText(DWORD code) {
    char text[1024];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    return std::string(text, length);
}

TEST(StartProcess, MissingProgramShowsTheSystemTextAndReturnsTheCode) {
    Sandbox sandbox;
    std::string line = "\"" + sandbox.Path("absent.exe") + "\" /x";
    BoxWatcher watcher;
    DWORD exitCode = 12345;
    DWORD code = StartProcess(&line[0], true, &exitCode);
    std::vector<SeenBox> boxes = watcher.Stop();

    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), code);
    EXPECT_EQ(12345u, exitCode);  // no process, no exit code
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Error", boxes[0].caption);
    EXPECT_EQ(static_cast<unsigned>(MB_OK), boxes[0].buttons);
    EXPECT_FALSE(boxes[0].icon);
    // The box text is built from the system's text, which a dialog shows
    // without its final line break.
    std::string expected = "CreateProcess\n\n\"" + line + "\"\n\nfailed with error 2: " +
                           SystemText(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(expected.substr(0, expected.find_last_not_of("\r\n") + 1),
              boxes[0].text.substr(0, boxes[0].text.find_last_not_of("\r\n") + 1));
}

// The probe records its arguments, holds until the hold file exists, marks
// that it is done and exits with 3: a failure of its own that StartProcess
// does not report, and hands back to a caller who asks.
class StartedProbe : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableA("COMPAT_PROBE_OUT", sandbox.Path("out.txt").c_str());
        SetEnvironmentVariableA("COMPAT_PROBE_HOLD", sandbox.Path("hold").c_str());
        SetEnvironmentVariableA("COMPAT_PROBE_DONE", done.c_str());
        SetEnvironmentVariableA("COMPAT_PROBE_EXIT", "3");
    }
    void TearDown() override {
        for (const char* name :
             {"COMPAT_PROBE_OUT", "COMPAT_PROBE_HOLD", "COMPAT_PROBE_DONE", "COMPAT_PROBE_EXIT"})
            SetEnvironmentVariableA(name, nullptr);
    }
    void Release() { std::ofstream(sandbox.Path("hold")).put('x'); }
    bool Done() { return !ReadFileText(done).empty(); }
    bool WaitUntilDone() {
        for (int i = 0; i < 1000 && !Done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return Done();
    }
    bool StartedWithoutArguments() {
        return ReadFileText(sandbox.Path("out.txt")).find("args=0\n") != std::string::npos;
    }

    Sandbox sandbox;
    std::string done = sandbox.Path("done");
    std::string line = "\"" + HostPath(CHILD_PROBE) + "\"";
};

TEST_F(StartedProbe, WaitingReturnsZeroOnlyAfterTheProgramEnded) {
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Release();
    });
    DWORD exitCode = 0;
    DWORD code = StartProcess(&line[0], true, &exitCode);
    bool doneAtReturn = Done();
    releaser.join();
    EXPECT_EQ(0u, code);
    EXPECT_EQ(3u, exitCode);
    EXPECT_TRUE(doneAtReturn);
    EXPECT_TRUE(StartedWithoutArguments());
}

TEST_F(StartedProbe, NotWaitingReturnsWhileTheProgramRuns) {
    BoxWatcher watcher;
    EXPECT_EQ(0u, StartProcess(&line[0], false));
    EXPECT_FALSE(Done());
    Release();
    EXPECT_TRUE(WaitUntilDone());
    EXPECT_TRUE(StartedWithoutArguments());
    EXPECT_TRUE(watcher.Stop().empty());
}

TEST(ShowFailureBox, JoinsTheMessageAndTheSystemText) {
    BoxWatcher watcher;
    ShowFailureBox("Couldn't do it", ":\n\n", ERROR_PATH_NOT_FOUND);
    ShowFailureBox("No text", ":\n\n", 0x2000FFFF);
    // A text with an insert and no arguments: the insert shows as it stands.
    ShowFailureBox("Not a program", ":\n\n", ERROR_BAD_EXE_FORMAT);
    std::vector<SeenBox> boxes = watcher.Stop();

    ASSERT_EQ(3u, boxes.size());
    auto withoutLineEnd = [](const std::string& text) {
        return text.substr(0, text.find_last_not_of("\r\n") + 1);
    };
    EXPECT_EQ(withoutLineEnd("Couldn't do it:\n\n" + SystemText(ERROR_PATH_NOT_FOUND)),
              withoutLineEnd(boxes[0].text));
    // A code the system has no text for leaves the message alone.
    EXPECT_EQ("No text", boxes[1].text);
    EXPECT_NE(std::string::npos, SystemText(ERROR_BAD_EXE_FORMAT).find("%1"));
    EXPECT_EQ(withoutLineEnd("Not a program:\n\n" + SystemText(ERROR_BAD_EXE_FORMAT)),
              withoutLineEnd(boxes[2].text));
    for (const SeenBox& box : boxes) {
        EXPECT_EQ("Error", box.caption);
        EXPECT_EQ(static_cast<unsigned>(MB_OK), box.buttons);
        EXPECT_TRUE(box.icon);
    }
}

}  // namespace
