#include "gen/Process.h"

#include <gtest/gtest.h>

#include <string>

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
    DWORD code = StartProcess(&line[0], true);
    std::vector<SeenBox> boxes = watcher.Stop();

    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), code);
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

TEST(ShowFailureBox, JoinsTheMessageAndTheSystemText) {
    BoxWatcher watcher;
    ShowFailureBox("Couldn't do it", ":\n\n", ERROR_PATH_NOT_FOUND);
    ShowFailureBox("No text", ":\n\n", 0x2000FFFF);
    std::vector<SeenBox> boxes = watcher.Stop();

    ASSERT_EQ(2u, boxes.size());
    std::string expected = "Couldn't do it:\n\n" + SystemText(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(expected.substr(0, expected.find_last_not_of("\r\n") + 1),
              boxes[0].text.substr(0, boxes[0].text.find_last_not_of("\r\n") + 1));
    // A code the system has no text for leaves the message alone.
    EXPECT_EQ("No text", boxes[1].text);
    for (const SeenBox& box : boxes) {
        EXPECT_EQ("Error", box.caption);
        EXPECT_EQ(static_cast<unsigned>(MB_OK), box.buttons);
        EXPECT_TRUE(box.icon);
    }
}

}  // namespace
