// The ANSI code page of compat's programs is a single-byte one: no byte
// begins a two-byte character.
#include <windows.h>

extern "C" BOOL IsDBCSLeadByte(BYTE) { return FALSE; }
