// A stand-in COM server: its registration appends one line to the file named
// by KORVEL_RECORD, naming this DLL, the program that loaded it and that
// program's arguments, tab-separated, in UTF-8 (the tool that loads it need
// not be a UTF-8 program):
//   registered <dll path> <TAB> host module path <TAB> argc <TAB> argv[1] ...
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HMODULE self = nullptr;

std::string Utf8(const wchar_t* text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], bytes, nullptr, nullptr);
    return narrow;
}

std::string ModulePath(HMODULE module) {
    wchar_t path[4096] = L"";
    GetModuleFileNameW(module, path, sizeof path / sizeof path[0]);
    return Utf8(path);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    // Late, so that a caller that does not wait for the tool finds no record yet.
    Sleep(300);
    const wchar_t* recordFile = _wgetenv(L"KORVEL_RECORD");
    if (!recordFile) return E_FAIL;

    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string line = "registered " + ModulePath(self) + '\t' + ModulePath(nullptr) + '\t' +
                       std::to_string(argc);
    for (int i = 1; i < argc; ++i) line += '\t' + Utf8(argv[i]);
    line += '\n';
    LocalFree(argv);

    FILE* file = _wfopen(recordFile, L"ab");
    if (!file) return E_FAIL;
    std::fputs(line.c_str(), file);
    std::fclose(file);
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
    return S_OK;
}
