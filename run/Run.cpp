// The launcher: starts Korvel.exe from the installation folder found in the
// registry, without arguments and without waiting.
#include <windows.h>
#include <strsafe.h>

#include "gen/Process.h"
#include "gen/Registry.h"

namespace {

const DWORD kPathBytes = 10240;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char folder[kPathBytes];
    RegistryTextResult found =
        ReadRegistryText("Software\\Korvel", "Installation path", folder, sizeof folder);
    DWORD status = found.status;

    // The path is quoted: unquoted, a folder such as C:\Program Files\Korvel
    // would let a planted C:\Program.exe run in the application's place.
    char commandLine[kPathBytes];
    if (folder[0] != '\0' &&
        FAILED(StringCchPrintfA(commandLine, sizeof commandLine, "\"%s\\Korvel.exe\"", folder))) {
        // A folder too long to name the program in the buffer is not used:
        // a cut path would start something else.
        folder[0] = '\0';
        status = ERROR_FILENAME_EXCED_RANGE;
    }
    if (folder[0] == '\0') {
        ShowFailureBox("Couldn't obtain installation path", ":\n\n", status);
        return -1;
    }
    StartProcess(commandLine, false);
    return 0;
}
