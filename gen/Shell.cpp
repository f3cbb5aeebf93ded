#include "gen/Shell.h"

#include <windows.h>

#include <cctype>
#include <cstring>

#include "gen/Pathw32.h"
#include "gen/Version.h"

namespace {

const char kBrowserKey[] = "http\\shell\\open\\command";
// Off the NT family the fallback command takes only this much of the URL.
const unsigned kNonNtUrlLimit = 400;

using ProtocolHandler = void(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);

// Calls url.dll's handler; false when the library or its entry is missing.
bool CallProtocolHandler(char* url) {
    HMODULE library = LoadSystemLibrary("url.dll");
    if (!library) return false;
    FARPROC entry = GetProcAddress(library, "FileProtocolHandler");
    if (entry)
        EntryAs<ProtocolHandler>(entry)(GetDesktopWindow(), ModuleHandle, url, SW_SHOW);
    FreeLibrary(library);
    return entry != nullptr;
}

// text with each byte of set, and with controls each control character
// (below 0x20, and 0x7F), written as '%' and two upper-case hex digits.
Str PercentEncoded(const char* text, const char* set, bool controls) {
    static const char hex[] = "0123456789ABCDEF";
    StrBuilder encoded(static_cast<unsigned>(strlen(text)));
    for (const char* p = text; *p; ++p) {
        unsigned char byte = static_cast<unsigned char>(*p);
        if (strchr(set, byte) || (controls && (byte < 0x20 || byte == 0x7F))) {
            const char escape[3] = {'%', hex[byte >> 4], hex[byte & 0xF]};
            encoded.Append(escape, 3);
        } else {
            encoded.Append(p, 1);
        }
    }
    return Str(encoded.storage);
}

// URLs for command lines: a '"' would end or open quotes, and a blank or tab
// outside quotes ends the argument. None of them, nor a control character,
// may stand in a URL, so their escapes change no address; CR and LF would
// also end a command that a batch file reads. Every other byte, '%' and
// escapes included, stays as it is. rundll32 hands the rest of its command
// line to the handler as one text: there blanks stay.
Str UrlForRundll32(const char* url) { return PercentEncoded(url, "\"", true); }
Str UrlAsArgument(const char* url) { return PercentEncoded(url, "\" ", true); }

bool IsBlank(const char* text) { return text[strspn(text, " \t\r\n")] == '\0'; }

}  // namespace

Str MailtoField(const char* text) { return PercentEncoded(text, "%&#", false); }

Str MailtoAddress(const char* address) { return PercentEncoded(address, "%&#?", false); }

Str BrowserCommandLine(char* command, unsigned size, const char* argument) {
    for (unsigned i = 0; i < size; ++i)
        command[i] = static_cast<char>(tolower(static_cast<unsigned char>(command[i])));
    if (IsBlank(command)) return Str();
    Str url = UrlAsArgument(argument);
    if (const char* exe = strstr(command, ".exe ")) {
        Str program(StrSlice(command, 0, static_cast<unsigned>(exe - command) + 5));
        return Concat(program, url);
    }
    // A registration whose program path is quoted marks the argument's place
    // with "%1"; appended behind it the browser would get a literal "%1".
    if (strstr(command, "%1")) {
        Str line(command);
        line.ReplaceAll("%1", url.data);
        return line;
    }
    return FormatStr("%s %s", command, url.data);
}

Str ProtocolHandlerCommand(const char* url, bool windowsNT, const char* systemFolder) {
    if (!windowsNT) {
        Str cut = UrlForRundll32(Str(url).Left(kNonNtUrlLimit).data);
        return FormatStr("start rundll32 url.dll,FileProtocolHandler %s", cut.data);
    }
    return FormatStr("%srundll32 url.dll,FileProtocolHandler \"%s\"", systemFolder, UrlForRundll32(url).data);
}

bool OpenInDefaultBrowser(const char* argument) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kBrowserKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    if (RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size + 1 == 0) {
        RegCloseKey(key);
        return false;
    }
    // One byte more than the value, zeroed: a value stored without its
    // terminator (or of another type) still ends inside the buffer.
    char* command = static_cast<char*>(HeapAllocate(size + 1));
    if (!command) {
        RegCloseKey(key);
        return false;
    }
    memset(command, 0, size + 1);
    DWORD read = size;
    if (RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(command), &read) != ERROR_SUCCESS) {
        HeapRelease(command);
        RegCloseKey(key);
        return false;
    }
    RegCloseKey(key);
    Str line = BrowserCommandLine(command, size, argument);
    HeapRelease(command);
    if (line.data[0] == '\0') return false;  // a blank registration is none
    WinExec(line.data, SW_SHOWNORMAL);
    return true;
}

void OpenShell(const char* format, const char* a1, const char* a2, const char* a3) {
    Str url = FormatStr(format, a1, a2, a3);
    url.ReplaceAll("\n", "%0D%0A");
    if (CallProtocolHandler(url.data)) return;
    Str command = ProtocolHandlerCommand(url.data, IsWindowsNT(), SystemFolder().data);
    WinExec(command.data, SW_SHOWNORMAL);
}

void MailTo(const char* address, const char* subject) {
    OpenShell("mailto:%s?subject=%s", MailtoAddress(address).data, MailtoField(subject).data);
}

void Browse(const char* url) {
    if (!OpenInDefaultBrowser(url)) OpenShell("%s", url);
}

void BrowseWeb(const char* hostAndPath) {
    if (!OpenInDefaultBrowser(hostAndPath)) OpenShell("http://%s", hostAndPath);
}

void BrowseFile(const char* path) { OpenShell("file://%s", path); }
