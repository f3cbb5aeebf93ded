// The Windows the program runs on, described for reports and messages: a
// short technical line and the long product name. Nothing is cached: every
// call asks the system again. Nothing is raised.
#pragma once

#include <windows.h>

#include "gen/Str.h"

// Whether GetVersionExA reports the NT platform; its own result is not
// checked (an unanswered call reads as platform 0, not NT).
bool IsWindowsNT();
bool IsNotWindowsNT();

// "Win%s %d.%02d build %d %s": the family name of the short table, major,
// minor, the build number's low 16 bits and the service pack text.
Str WindowsVersionText();

// "Microsoft Windows 7 Ultimate Edition, 64-bit Service Pack 1 (build
// 7601)" and the like, cut to ProductNameSize - 1 characters; the empty
// text for a system it does not describe (the 9x family, NT 4 and older) or
// when the version call fails. Uses one static buffer: one thread only.
Str WindowsProductName();

// What the long form is made of, as the system reports it.
struct WindowsFacts {
    OSVERSIONINFOEXA version;
    WORD architecture;  // processor architecture of SYSTEM_INFO
    DWORD edition;      // GetProductInfo's code; looked at for 6.0 to 6.2 only
    int serverR2;       // GetSystemMetrics(SM_SERVERR2); looked at for 5.2 only
};

const unsigned ProductNameSize = 256;

// The long form of facts written to name (ProductNameSize characters, always
// terminated); false, with name left empty, for a system it does not
// describe. WindowsProductName calls it with the real values.
bool BuildProductName(const WindowsFacts& facts, char (&name)[ProductNameSize]);
