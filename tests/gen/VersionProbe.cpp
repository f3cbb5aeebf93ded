// Writes what the library says of the running Windows to the file named by
// its command line, one answer a line: IsWindowsNT, IsNotWindowsNT (0 or 1),
// WindowsVersionText, WindowsProductName.
#include <windows.h>

#include <cstdio>

#include "gen/Version.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    FILE* out = fopen(commandLine, "wb");
    if (!out) return 1;
    fprintf(out, "%d\n%d\n%s\n%s\n", IsWindowsNT(), IsNotWindowsNT(), WindowsVersionText().data,
            WindowsProductName().data);
    fclose(out);
    return 0;
}
