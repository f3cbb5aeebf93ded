// The instance handle compat's main() gives WinMain. It stands for the
// program's own module, so GetModuleFileNameA accepts it as well as NULL.
#pragma once

#include <windows.h>

// The conventional load address of a Windows program: non-null and never a
// pointer to anything here.
inline HINSTANCE CompatMainInstance() { return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0x400000)); }
