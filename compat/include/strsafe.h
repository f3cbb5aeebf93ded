// The bounded text functions of the Windows SDK that the library calls.
// Like the SDK's, they always terminate a non-empty destination and cut
// what does not fit, reporting that with STRSAFE_E_INSUFFICIENT_BUFFER.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#define STRSAFE_MAX_CCH 2147483647u
#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)
#define STRSAFE_E_INVALID_PARAMETER ((HRESULT)0x80070057L)

inline HRESULT StringCchVPrintfA(LPSTR dest, size_t capacity, LPCSTR format, va_list args) {
    if (capacity == 0 || capacity > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    int written = vsnprintf(dest, capacity, format, args);
    if (written < 0) {
        dest[0] = '\0';
        return STRSAFE_E_INVALID_PARAMETER;
    }
    return static_cast<size_t>(written) < capacity ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER;
}

inline HRESULT StringCchPrintfA(LPSTR dest, size_t capacity, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    HRESULT result = StringCchVPrintfA(dest, capacity, format, args);
    va_end(args);
    return result;
}

inline HRESULT StringCchCopyA(LPSTR dest, size_t capacity, LPCSTR source) {
    if (capacity == 0 || capacity > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    size_t length = strnlen(source, capacity);
    if (length < capacity) {
        memcpy(dest, source, length + 1);
        return S_OK;
    }
    memcpy(dest, source, capacity - 1);
    dest[capacity - 1] = '\0';
    return STRSAFE_E_INSUFFICIENT_BUFFER;
}

inline HRESULT StringCchCatA(LPSTR dest, size_t capacity, LPCSTR source) {
    if (capacity == 0 || capacity > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    size_t used = strnlen(dest, capacity);
    // An unterminated destination is refused, as the SDK does.
    if (used == capacity) return STRSAFE_E_INVALID_PARAMETER;
    return StringCchCopyA(dest + used, capacity - used, source);
}
