// The built-in system modules (Modules.cpp), for GetModuleHandleA.
#pragma once

#include <windows.h>

// The handle of the system module name stands for when it is loaded (kernel32
// always is), else null with ERROR_MOD_NOT_FOUND.
HMODULE LoadedSystemModule(const char* name);
