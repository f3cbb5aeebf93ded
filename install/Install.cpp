// The setup tool: with "80 <n>" on 64-bit Windows, registers the 64-bit COM
// server 64\KorvelCOM.dll of the SDK folder found in the registry.
#include <windows.h>
#include <strsafe.h>

#include <cstdio>

#include "gen/Process.h"
#include "gen/Registry.h"

namespace {

const DWORD kPathBytes = 10240;
const int kRegisterComServer = 80;

// The registration tool's command line for dllPath. The tool is named by its
// full path in the system folder: the search rules would first look in this
// program's folder and the current one, where a planted regsvr32.exe would
// run with the installer's rights. Returns 0, or the error that kept the
// line from being made (line then holds the DLL path alone).
DWORD ComposeToolLine(const char* dllPath, char* line, size_t capacity) {
    char systemFolder[MAX_PATH];
    UINT length = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    DWORD code = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    if (length != 0 && length < sizeof systemFolder &&
        SUCCEEDED(StringCchPrintfA(line, capacity, "\"%s\\regsvr32.exe\" /s \"%s\"",
                                   systemFolder, dllPath)))
        return 0;
    StringCchCopyA(line, capacity, dllPath);
    return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    int action = 0;
    int detail = 0;
    if (sscanf(commandLine, "%d %d", &action, &detail) < 2) return 0;
    if (action != kRegisterComServer) return 0;

    // The variable exists only on 64-bit Windows; its value is not needed.
    char probe[kPathBytes];
    if (GetEnvironmentVariableA("ProgramFiles(x86)", probe, sizeof probe) == 0) return 0;

    char folder[kPathBytes];
    RegistryTextResult found =
        ReadRegistryText("Software\\Korvel", "SDK Installation path", folder, sizeof folder);
    if (!found.keyFound) {
        ShowFailureBox("Couldn't obtain SDK installation path", ":\n\n", found.status);
        return -1;
    }
    // An unusable value is passed over silently. That includes the empty
    // text, which would register \64\KorvelCOM.dll from the root of the
    // current drive, where anyone may plant a DLL.
    char dllPath[kPathBytes];
    if (folder[0] == '\0' ||
        FAILED(StringCchPrintfA(dllPath, sizeof dllPath, "%s\\64\\KorvelCOM.dll", folder)))
        return 0;

    char toolLine[kPathBytes + MAX_PATH + 32];
    DWORD code = ComposeToolLine(dllPath, toolLine, sizeof toolLine);
    // The tool's own failure (a server that does not register) is its exit
    // code, passed on without a box: /s asked it for silence.
    DWORD toolExit = 0;
    if (code == 0) code = StartProcess(toolLine, true, &toolExit);
    if (code == 0) return static_cast<int>(toolExit);

    char message[sizeof toolLine + 32];
    StringCchPrintfA(message, sizeof message, "Couldn't register DLL:\n%s", toolLine);
    ShowFailureBox(message, "\n\n", code);
    return 0;
}
