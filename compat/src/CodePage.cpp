// The ANSI code page of compat's programs is a single-byte one: no byte
// begins a two-byte character, and every byte is a character of its own.
#include <windows.h>

#include <cstring>

extern "C" BOOL IsDBCSLeadByte(BYTE) { return FALSE; }

extern "C" int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int length, wchar_t* wide, int capacity) {
    if (codePage != CP_ACP || text == nullptr || wide != nullptr || capacity != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // -1: the text and its terminator.
    return length < 0 ? static_cast<int>(strlen(text)) + 1 : length;
}
