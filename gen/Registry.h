// Reading a program's text setting from the registry.
#pragma once

#include <windows.h>

struct RegistryTextResult {
    LONG status;    // status of the last registry call made
    bool keyFound;  // one of the places held the key
};

// Looks for subKey per-user before machine-wide, in each the 32-bit view
// before the default view, and reads valueName from the first key that opens
// only. text (capacity bytes) receives the value when it is a terminated
// REG_SZ of non-zero size that fits, and is left empty otherwise.
RegistryTextResult ReadRegistryText(const char* subKey, const char* valueName, char* text,
                                    DWORD capacity);
