// Watching message boxes as a person would: every box shown while a
// BoxWatcher lives, by this process or by a program it starts, is read
// (caption, text, buttons, icon) and answered.
//   Windows/Wine: a thread finds each dialog of class #32770, reads it and
//   presses the answer's button.
//   Linux: compat's MessageBoxA logs each box to the file named by
//   COMPAT_MSGBOX_LOG and answers from COMPAT_MSGBOX_ANSWERS; the watcher sets
//   both and reads the log back.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct SeenBox {
    std::string caption;
    std::string text;
    unsigned buttons;  // MB_OK, MB_OKCANCEL or MB_YESNO
    bool icon;         // any icon shown (this system only uses the error icon)
};

// Boxes compared and printed whole, so that a list of them is checked at once.
bool operator==(const SeenBox& a, const SeenBox& b);
void PrintTo(const SeenBox& box, std::ostream* out);

class BoxWatcher {
public:
    // answers: the button to press for each box in turn (IDOK, IDYES, IDNO...);
    // once used up, the box's first button is pressed.
    explicit BoxWatcher(std::vector<int> answers = {});
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // Stops watching and returns the boxes seen, in the order they appeared.
    std::vector<SeenBox> Stop();

    struct State;  // each platform's own

private:
    State* state;
};
