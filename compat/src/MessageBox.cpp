// Message boxes without a screen: each box is written to standard error for a
// person and, when COMPAT_MSGBOX_LOG names a file, appended to it as one line
//   <style as 0x%08x> TAB <caption> TAB <text> LF
// with backslash, LF, CR and TAB escaped as \\ \n \r \t. The answer comes
// from COMPAT_MSGBOX_ANSWERS, decimal button IDs separated by commas, taken in
// turn by each process from the first; once they run out (or without the
// variable, or for an ID the box has no button for) the box's first button is
// pressed. Nothing ever waits for a person.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::atomic<size_t> answersUsed{0};

std::string Escape(const char* text) {
    std::string result;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '\\': result += "\\\\"; break;
            case '\n': result += "\\n"; break;
            case '\r': result += "\\r"; break;
            case '\t': result += "\\t"; break;
            default: result += *p;
        }
    }
    return result;
}

// The buttons of each box type, first button first (IDABORT 3, IDRETRY 4,
// IDIGNORE 5 for the types nothing here shows).
struct Buttons {
    const char* names;
    int ids[3];
};

Buttons ButtonsOf(UINT style) {
    switch (style & MB_TYPEMASK) {
        case MB_OKCANCEL: return {"OK/Cancel", {IDOK, IDCANCEL, 0}};
        case 2: return {"Abort/Retry/Ignore", {3, 4, 5}};
        case 3: return {"Yes/No/Cancel", {IDYES, IDNO, IDCANCEL}};
        case MB_YESNO: return {"Yes/No", {IDYES, IDNO, 0}};
        case 5: return {"Retry/Cancel", {4, IDCANCEL, 0}};
        default: return {"OK", {IDOK, 0, 0}};
    }
}

const char* IconName(UINT style) {
    switch (style & MB_ICONMASK) {
        case 0: return "no icon";
        case MB_ICONHAND: return "error icon";
        case MB_ICONQUESTION: return "question icon";
        case MB_ICONEXCLAMATION: return "warning icon";
        case MB_ICONINFORMATION: return "information icon";
        default: return "icon";
    }
}

// The index-th scripted answer; 0 when there is none.
int ScriptedAnswer(size_t index) {
    const char* answers = getenv("COMPAT_MSGBOX_ANSWERS");
    if (answers == nullptr) return 0;
    const char* p = answers;
    for (size_t i = 0; i < index; ++i) {
        while (*p != '\0' && *p != ',') ++p;
        if (*p == '\0') return 0;
        ++p;
    }
    char* end = nullptr;
    long answer = strtol(p, &end, 10);
    if (end == p || (*end != '\0' && *end != ',') || answer <= 0 || answer > 0xFFFF) return 0;
    return static_cast<int>(answer);
}

// One write() per line: appends from several processes stay whole lines.
void AppendToLog(const std::string& line) {
    const char* path = getenv("COMPAT_MSGBOX_LOG");
    if (path == nullptr || path[0] == '\0') return;
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        fprintf(stderr, "MessageBoxA: cannot open %s\n", path);
        return;
    }
    ssize_t written;
    do {
        written = write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(line.size())) fprintf(stderr, "MessageBoxA: cannot write %s\n", path);
    close(fd);
}

}  // namespace

extern "C" {

int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT style) {
    if (caption == nullptr) caption = "Error";  // as Windows titles an untitled box
    if (text == nullptr) text = "";

    // An answer the box has no button for presses its first one, as the
    // tests' watcher does on Windows.
    const Buttons buttons = ButtonsOf(style);
    const int scripted = ScriptedAnswer(answersUsed.fetch_add(1));
    int answer = buttons.ids[0];
    for (int id : buttons.ids) {
        if (id != 0 && id == scripted) answer = id;
    }

    fprintf(stderr, "+--- message box: %s [%s, %s] -> %d\n%s\n+---\n", caption, buttons.names,
            IconName(style), answer, text);

    char styleText[16];
    snprintf(styleText, sizeof styleText, "0x%08x", style);
    AppendToLog(std::string(styleText) + '\t' + Escape(caption) + '\t' + Escape(text) + '\n');
    return answer;
}

}  // extern "C"
