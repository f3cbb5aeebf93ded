// A stand-in for the system's url.dll, planted in the test prefix's system
// folder (WINEDLLOVERRIDES has Wine load it instead of its own). It appends
// to the file named by KORVEL_RECORD, tab-separated:
//   loaded <TAB> its own path <TAB> the loading process's command line
//   opened <TAB> url <TAB> show command <TAB> 1 if the window was the desktop's
//          <TAB> 1 if the instance was the calling program's
// Built twice: with NO_HANDLER it lacks "FileProtocolHandler", as a library
// that cannot open URLs.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

HMODULE self = nullptr;

void Record(const std::string& line) {
    // From the process's environment: the C runtime's copy is taken when it
    // starts and misses what a test sets afterwards.
    char recordFile[4096];
    DWORD length = GetEnvironmentVariableA("KORVEL_RECORD", recordFile, sizeof recordFile);
    if (length == 0 || length >= sizeof recordFile) return;
    FILE* file = std::fopen(recordFile, "ab");
    if (!file) return;
    std::fputs((line + '\n').c_str(), file);
    std::fclose(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        char path[4096] = "";
        GetModuleFileNameA(instance, path, sizeof path);
        Record(std::string("loaded\t") + path + '\t' + GetCommandLineA());
    }
    return TRUE;
}

// Tells a test that this stand-in, not Wine's own url.dll, was loaded.
extern "C" __declspec(dllexport) int KorvelStandin() { return 1; }

#ifndef NO_HANDLER
extern "C" __declspec(dllexport) void CALLBACK FileProtocolHandler(HWND window, HINSTANCE instance,
                                                                   LPSTR url, int show) {
    Record(std::string("opened\t") + url + '\t' + std::to_string(show) + '\t' +
           (window == GetDesktopWindow() ? "1" : "0") + '\t' +
           (instance == GetModuleHandleA(nullptr) ? "1" : "0"));
}
#endif
