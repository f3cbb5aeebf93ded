// The system libraries the library loads by name, as built-in modules: no
// file is ever loaded.
//   kernel32.dll  always present (GetModuleHandleA finds it), with the two
//                 entries looked up by name: GetNativeSystemInfo, GetProductInfo.
//   url.dll       its "FileProtocolHandler" hands the URL to the desktop's
//                 opener, xdg-open, or to the program COMPAT_URL_OPENER names
//                 (tests record with it), as one argument, without a shell
//                 and without waiting.
// A module is found by its bare name or by its path in the system folder
// (GetSystemDirectoryA, either separator), case-insensitively; any other
// path, and any other library (MAPI32.DLL among them), is not found.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <strings.h>

#include "Files.h"
#include "Modules.h"
#include "Process.h"

extern char** environ;

namespace {

void CALLBACK FileProtocolHandler(HWND /*window*/, HINSTANCE /*instance*/, LPSTR url, int /*show*/) {
    const char* configured = getenv("COMPAT_URL_OPENER");
    const char* opener = configured != nullptr && configured[0] != '\0' ? configured : "xdg-open";
    char* argv[] = {const_cast<char*>(opener), url, nullptr};
    pid_t pid = 0;
    posix_spawnattr_t attributes;
    InitChildAttributes(&attributes);
    // Like Windows' handler it does not wait; the child is left to end alone.
    posix_spawnp(&pid, opener, nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
}

struct Entry {
    const char* name;
    FARPROC address;
};

template <class Function>
FARPROC AsEntry(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Module {
    const char* name;
    bool alwaysLoaded;
    Entry entries[2];
    unsigned loads;  // LoadLibraryA calls not yet matched by FreeLibrary
};

Module modules[] = {
    {"kernel32.dll", true, {{"GetNativeSystemInfo", AsEntry(&GetNativeSystemInfo)},
                            {"GetProductInfo", AsEntry(&GetProductInfo)}}, 0},
    {"url.dll", false, {{"FileProtocolHandler", AsEntry(&FileProtocolHandler)}, {nullptr, nullptr}}, 0},
};

// Handles are small odd numbers: never a pointer to anything here.
HMODULE HandleOf(const Module* module) {
    return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7100 + 2 * (module - modules) + 1));
}

Module* ModuleOf(HMODULE handle) {
    for (Module& module : modules)
        if (HandleOf(&module) == handle) return &module;
    return nullptr;
}

bool Loaded(const Module& module) { return module.alwaysLoaded || module.loads > 0; }

// The module a name stands for: a bare name, or a path in the system folder.
Module* ModuleNamed(const char* name) {
    std::string path = ToHostPath(name);
    std::string file = FileNameOf(path);
    if (path.find('/') != std::string::npos) {
        char folder[4096];
        UINT length = GetSystemDirectoryA(folder, sizeof folder);
        if (length == 0 || length >= sizeof folder) return nullptr;
        // FolderOf gives "/" for a file in the root; the system folder, which
        // ends in "system32", matches that no more than the empty text.
        if (strcasecmp(FolderOf(path).c_str(), ToHostPath(folder).c_str()) != 0) return nullptr;
    }
    for (Module& module : modules)
        if (strcasecmp(module.name, file.c_str()) == 0) return &module;
    return nullptr;
}

}  // namespace

HMODULE LoadedSystemModule(const char* name) {
    Module* module = ModuleNamed(name);
    if (module == nullptr || !Loaded(*module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return HandleOf(module);
}

extern "C" {

HMODULE LoadLibraryA(LPCSTR name) {
    Module* module = name != nullptr ? ModuleNamed(name) : nullptr;
    if (module == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++module->loads;
    return HandleOf(module);
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR name) {
    Module* module = ModuleOf(handle);
    if (module == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    for (const Entry& entry : module->entries) {
        if (entry.name != nullptr && name != nullptr && strcmp(entry.name, name) == 0) return entry.address;
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE handle) {
    Module* module = ModuleOf(handle);
    if (module == nullptr || !Loaded(*module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (module->loads > 0) --module->loads;
    return TRUE;
}

}  // extern "C"
