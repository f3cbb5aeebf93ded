// MessageBoxA as the tests' watcher sees and answers it: real boxes under
// Windows, compat's log and scripted answers natively.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/MessageBoxes.h"

namespace {

TEST(MessageBoxTest, BoxesAreSeenAndAnsweredInTurn) {
    BoxWatcher watcher({IDNO, IDCANCEL, IDYES});
    EXPECT_EQ(MessageBoxA(nullptr, "First line\nC:\\folder\\file", "Caption", MB_YESNO | MB_ICONERROR), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "no caption", nullptr, MB_OKCANCEL), IDCANCEL);
    // No Yes button: the first button is pressed, and the answer is used up.
    EXPECT_EQ(MessageBoxA(nullptr, "only OK", "Caption", MB_OK | MB_ICONERROR), IDOK);
    // Answers used up: the first button again.
    EXPECT_EQ(MessageBoxA(nullptr, "", "Last", MB_YESNO), IDYES);

    std::vector<SeenBox> boxes = watcher.Stop();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].caption, "Caption");
    EXPECT_EQ(boxes[0].text, "First line\nC:\\folder\\file");
    EXPECT_EQ(boxes[0].buttons, static_cast<unsigned>(MB_YESNO));
    EXPECT_TRUE(boxes[0].icon);
    EXPECT_EQ(boxes[1].caption, "Error");  // what Windows titles an untitled box
    EXPECT_EQ(boxes[1].text, "no caption");
    EXPECT_EQ(boxes[1].buttons, static_cast<unsigned>(MB_OKCANCEL));
    EXPECT_FALSE(boxes[1].icon);
    EXPECT_EQ(boxes[2].buttons, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(boxes[3].caption, "Last");
    EXPECT_EQ(boxes[3].text, "");
}

}  // namespace
