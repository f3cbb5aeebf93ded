// Windows and Wine: a thread looks for message boxes (dialogs of class
// #32770) of every process, reads each new one and presses its answer.
#include "support/MessageBoxes.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace {

const DWORD kPollMs = 25;
// Control identifiers of the box's parts, the same on Windows and Wine.
const int kTextId = 0xFFFF;
const int kIconId = 0x0440;

}  // namespace

struct BoxWatcher::State {
    std::vector<int> answers;
    size_t nextAnswer = 0;
    std::vector<SeenBox> seen;
    std::vector<HWND> known;  // boxes already read: each is read once
    std::atomic<bool> stop{false};
    HANDLE thread = nullptr;
};

namespace {

std::string ItemText(HWND box, int id) {
    char text[4096] = "";
    GetDlgItemTextA(box, id, text, sizeof text);
    return text;
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM parameter) {
    auto* state = reinterpret_cast<BoxWatcher::State*>(parameter);
    char className[16] = "";
    if (!IsWindowVisible(window) || !GetClassNameA(window, className, sizeof className) ||
        std::strcmp(className, "#32770") != 0)
        return TRUE;
    for (HWND known : state->known)
        if (known == window) return TRUE;
    state->known.push_back(window);

    SeenBox box;
    char caption[1024] = "";
    GetWindowTextA(window, caption, sizeof caption);
    box.caption = caption;
    box.text = ItemText(window, kTextId);
    HWND icon = GetDlgItem(window, kIconId);
    box.icon = icon && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
    int first = IDOK;
    if (GetDlgItem(window, IDYES) && GetDlgItem(window, IDNO)) {
        box.buttons = MB_YESNO;
        first = IDYES;
    } else if (GetDlgItem(window, IDCANCEL)) {
        box.buttons = MB_OKCANCEL;
    } else {
        box.buttons = MB_OK;
    }
    state->seen.push_back(box);

    int answer = state->nextAnswer < state->answers.size() ? state->answers[state->nextAnswer++]
                                                           : first;
    HWND button = GetDlgItem(window, answer);
    if (!button) button = GetDlgItem(window, first);
    // Posted, so that a box whose program is gone cannot block the watcher.
    PostMessageA(button, BM_CLICK, 0, 0);
    return TRUE;
}

DWORD WINAPI Watch(LPVOID parameter) {
    auto* state = static_cast<BoxWatcher::State*>(parameter);
    while (!state->stop) {
        EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(state));
        Sleep(kPollMs);
    }
    return 0;
}

}  // namespace

BoxWatcher::BoxWatcher(std::vector<int> answers) : state(new State) {
    state->answers = std::move(answers);
    state->thread = CreateThread(nullptr, 0, Watch, state, 0, nullptr);
}

BoxWatcher::~BoxWatcher() {
    Stop();
    delete state;
}

std::vector<SeenBox> BoxWatcher::Stop() {
    if (state->thread) {
        state->stop = true;
        WaitForSingleObject(state->thread, INFINITE);
        CloseHandle(state->thread);
        state->thread = nullptr;
    }
    return state->seen;
}
