#include "gen/Process.h"

#include <strsafe.h>

namespace {

const char kStartWord[] = "CreateProcess";
// Shown where the system has no text for a code.
const char kNoSystemText[] = "(no description of this error)";

}  // namespace

DWORD StartProcess(char* commandLine, bool wait, DWORD* exitCode) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        if (wait) {
            bool ended = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0;
            if (exitCode && !(ended && GetExitCodeProcess(process.hProcess, exitCode)))
                *exitCode = STILL_ACTIVE;
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        return 0;
    }

    DWORD code = GetLastError();
    char* systemText = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                       FORMAT_MESSAGE_FROM_SYSTEM,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<char*>(&systemText), 0, nullptr);
    const char* shownText = systemText ? systemText : kNoSystemText;
    // 40 spare bytes: the format's fixed characters (26), the longest signed
    // decimal code (11) and the terminator.
    SIZE_T bytes = lstrlenA(shownText) + lstrlenA(kStartWord) + lstrlenA(commandLine) + 40;
    char* boxText = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, bytes));
    if (boxText) {
        StringCchPrintfA(boxText, LocalSize(boxText), "%s\n\n\"%s\"\n\nfailed with error %d: %s",
                         kStartWord, commandLine, static_cast<int>(code), shownText);
    }
    // Out of memory for the text, the box still tells what failed.
    MessageBoxA(nullptr, boxText ? boxText : kStartWord, "Error", MB_OK);
    if (systemText) LocalFree(systemText);
    if (boxText) LocalFree(boxText);
    return code;
}

DWORD SystemErrorText(DWORD code, char* text, DWORD capacity) {
    if (capacity == 0) return 0;
    // No arguments are passed: a text with inserts ("%1 is not a valid Win32
    // application.") shows them as they stand.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  text, capacity, nullptr);
    if (length == 0 || length >= capacity) {
        text[0] = '\0';
        return 0;
    }
    return length;
}

void ShowFailureBox(const char* message, const char* separator, DWORD code) {
    char systemText[10240];
    DWORD length = SystemErrorText(code, systemText, sizeof systemText);
    if (length == 0) {
        MessageBoxA(nullptr, message, "Error", MB_ICONERROR);
        return;
    }
    SIZE_T bytes = lstrlenA(message) + lstrlenA(separator) + length + 1;
    char* text = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes));
    if (text) StringCchPrintfA(text, bytes, "%s%s%s", message, separator, systemText);
    MessageBoxA(nullptr, text ? text : message, "Error", MB_ICONERROR);
    if (text) LocalFree(text);
}
