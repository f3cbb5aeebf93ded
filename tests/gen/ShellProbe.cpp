// Opens its command line as a URL through the library, from wherever it was
// copied to.
#include <windows.h>

#include "gen/Shell.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    OpenShell("%s", commandLine);
    return 0;
}
