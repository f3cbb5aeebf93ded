// settings: reads and writes values of the configuration store by setting
// path, so that a check-summed or scrambled value can be looked at in plain
// text and written with a correct check sum. A console program; not shipped
// with the two programs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gen/Err.h"
#include "gen/Ini.h"
#include "gen/Process.h"

namespace {

const char kUsage[] =
    "usage: settings [--file FILE] COMMAND ...\n"
    "\n"
    "  read PATH          print the value at PATH (exit 2 when it was missing)\n"
    "  write PATH VALUE   store VALUE at PATH in the form its flags ask for\n"
    "                     (exit 4 with the system's reason when it was not\n"
    "                     stored)\n"
    "  bytes PATH COUNT   print the COUNT bytes stored at PATH (exit 2 when the\n"
    "                     value is not an array of COUNT bytes; under '=' a\n"
    "                     missing one is then stored as zeros, exit 4 when that\n"
    "                     fails)\n"
    "  encode TEXT        the hex XOR form of TEXT\n"
    "  decode HEX         the text of a hex XOR form\n"
    "  --help             this text\n"
    "\n"
    "PATH is a setting path: |file|section|key[|default], or section|key[|default]\n"
    "relative to the settings file given with --file. Flags at the start of the\n"
    "section or key: '!' check-summed, '@' scrambled, '?' '=' '+' what a miss\n"
    "does, '`' through the language path. A broken check sum is reported and\n"
    "ends the program with exit status 3. Refused, as not stored: in an INI\n"
    "file a value with a line break, a key with '=' or beginning with ';' or\n"
    "'[', a section with ']', an empty name or one with a blank or tab at an\n"
    "end; anywhere a '!' or '@' value longer than 1023 characters stored.\n"
    "\n"
    "  settings read \"|C:\\Korvel\\Korvel.INI|Report|!Key\"\n"
    "  settings --file C:\\Korvel\\Korvel.INI write \"Report|!Key\" \"new text\"\n";

// Internal errors raise a structured exception before they reach the
// protected scope; continuing it lets the scope report them.
LONG CALLBACK ContinueInternalErrors(PEXCEPTION_POINTERS pointers) {
    return pointers->ExceptionRecord->ExceptionCode == InternalErrorException ? EXCEPTION_CONTINUE_EXECUTION
                                                                              : EXCEPTION_CONTINUE_SEARCH;
}

int Usage(int status) {
    fputs(kUsage, status == 0 ? stdout : stderr);
    return status;
}

int Read(const char* path) {
    SettingPath record = ParseSettingPath(path, nullptr);
    Str value = ReadSettingRecord(record);
    printf("%s\n", value.data);
    return record.found ? 0 : 2;
}

// A write the store did not make: the system's reason, exit status 4.
int NotStored(const char* path) {
    DWORD code = GetLastError();
    char text[1024];
    DWORD length = SystemErrorText(code, text, sizeof text);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
        text[--length] = '\0';
    if (length > 0)
        fprintf(stderr, "settings: %s not stored: %s\n", path, text);
    else
        fprintf(stderr, "settings: %s not stored: error %lu\n", path, static_cast<unsigned long>(code));
    return 4;
}

int Write(const char* path, const char* value) { return WriteSetting(path, value) ? 0 : NotStored(path); }

int Bytes(const char* path, const char* countText) {
    char* end;
    long count = strtol(countText, &end, 10);
    if (*end || count < 0 || count > 0xFFFF) return Usage(1);
    std::vector<unsigned char> bytes(static_cast<size_t>(count) + 1, 0);
    bool repairFailed = false;
    bool accepted = ReadSettingBytes(path, bytes.data(), static_cast<int>(count), &repairFailed);
    if (repairFailed) return NotStored(path);
    for (long i = 0; accepted && i < count; ++i) printf(i ? " %02X" : "%02X", bytes[i]);
    if (accepted) printf("\n");
    return accepted ? 0 : 2;
}

int Encode(const char* text) {
    int capacity = static_cast<int>(2 * strlen(text));
    std::vector<char> hex(static_cast<size_t>(capacity) + 1);
    HexXorEncode(text, hex.data(), capacity);
    printf("%s\n", hex.data());
    return 0;
}

int Decode(const char* hex) {
    int capacity = static_cast<int>((strlen(hex) + 1) / 2);
    std::vector<char> text(static_cast<size_t>(capacity) + 1);
    HexXorDecode(hex, text.data(), capacity);
    printf("%s\n", text.data());
    return 0;
}

int Run(int count, char** arguments) {
    if (count >= 2 && strcmp(arguments[0], "--file") == 0) {
        BindSettingsFile(arguments[1], false, true);
        count -= 2;
        arguments += 2;
    }
    if (count < 1) return Usage(1);
    const char* command = arguments[0];
    if (strcmp(command, "--help") == 0 && count == 1) return Usage(0);
    if (strcmp(command, "read") == 0 && count == 2) return Read(arguments[1]);
    if (strcmp(command, "write") == 0 && count == 3) return Write(arguments[1], arguments[2]);
    if (strcmp(command, "bytes") == 0 && count == 3) return Bytes(arguments[1], arguments[2]);
    if (strcmp(command, "encode") == 0 && count == 2) return Encode(arguments[1]);
    if (strcmp(command, "decode") == 0 && count == 2) return Decode(arguments[1]);
    return Usage(1);
}

}  // namespace

int main(int argc, char** argv) {
    AddVectoredExceptionHandler(1, ContinueInternalErrors);
    int status = 3;
    ERR_TRY(scope) { status = Run(argc - 1, argv + 1); }
    ERR_CATCH(error) {
        fprintf(stderr, "settings: %s\n", error.message.data ? error.message.data : "error");
        status = 3;
    }
    fflush(stdout);
    return status;
}
