// The decisions and boxes between building an error's text and delivering
// it: the debugger offer, configured assertion texts, the structured
// exception of internal errors, the error boxes and the end of the program.
#include <windows.h>

#include <cstdlib>

#include "gen/Err.h"
#include "gen/Ini.h"
#include "gen/Path.h"

namespace {

const DWORD kTrappedMs = 170;
const unsigned kReportKindSize = 1024;
const char kReportKind[] = "Asserted";

// The structured exception's one parameter points here; it keeps its text
// after the first internal error.
char reportKind[kReportKindSize];

// The part after the last separator (drive colon included).
const char* LastPart(const char* begin, const char* end) {
    const char* part = begin;
    for (const char* p = begin; p < end; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') part = p + 1;
    return part;
}

// The caption is joined, not formatted: text may lie in FormatBuffer.
bool ShowBox(const char* identity, const char* text, const char* captionEnd) {
    if (!identity || IsInternalTemplate(identity)) return true;
    Str name = ProgramFileName();
    Str caption = Concat(name, captionEnd);
    MessageBoxA(nullptr, text, caption.data, MB_OK | MB_ICONERROR);
    return true;
}

}  // namespace

bool ShouldDeliver(const char* identity, const char* text, va_list* arguments) {
    if (identity == InternalTemplates[DoubleNestedTemplate] ||
        identity == InternalTemplates[TripleNestedTemplate])
        return !OfferDebugger(text);
    if (identity == InternalTemplates[AssertionTemplate] && ShowAssertText(arguments)) return true;
    if (IsInternalTemplate(identity)) {
        reportKind[0] = '\0';
        strncat(reportKind, kReportKind, sizeof reportKind - 1);
        const ULONG_PTR parameter = reinterpret_cast<ULONG_PTR>(reportKind);
        // An attached debugger or a process-wide handler may catch it;
        // unhandled, the platform ends the process here.
        RaiseException(InternalErrorException, 0, 1, &parameter);
    }
    return true;
}

bool OfferDebugger(const char* text) {
    if (MessageBoxA(nullptr, text, ErrorCaption.data, MB_YESNO | MB_ICONERROR) != IDYES) return false;
    // Without a debugger a break does not come back: the process would die
    // of an unhandled breakpoint instead of ending in order.
    if (!IsDebuggerPresent()) return false;
    DWORD before = GetTickCount();
    DebugBreak();
    DWORD spent = GetTickCount() - before;
    return spent > kTrappedMs;
}

Str AssertSettingKey(const char* sourcePath, int line) {
    const char* end = sourcePath + strlen(sourcePath);
    const char* file = LastPart(sourcePath, end);
    // The folder without its one trailing separator, then its last part.
    const char* folderEnd = file;
    if (folderEnd > sourcePath && (folderEnd[-1] == '\\' || folderEnd[-1] == '/')) --folderEnd;
    const char* folder = LastPart(sourcePath, folderEnd);
    if (folderEnd > sourcePath && folderEnd[-1] == ':') folder = folderEnd;  // a drive is no folder
    Str folderPart(StrSlice(static_cast<unsigned>(folderEnd - folder), folder));
    Str key = FormatStr("%d %s/%s", line, folderPart.data, file);
    LowerCase(key);
    return key;
}

bool ShowAssertText(va_list* arguments) {
    // A propagated assertion comes without its source path and line.
    if (!arguments) return false;
    const char* sourcePath = va_arg(*arguments, const char*);
    int line = va_arg(*arguments, int);
    // Section Assert of the bound settings file; a miss reads as the empty
    // text and writes nothing. Without a bound file nothing is configured.
    Str key = AssertSettingKey(sourcePath, line);
    Str text = ReadSetting(FormatStr("?Assert|%s|", key.data).data);
    if (!text.data[0]) return false;
    MessageBoxA(nullptr, text.data, ErrorCaption.data, MB_OK | MB_ICONERROR);
    return true;
}

bool ShowErrorBox(const char* identity, const char* text) { return ShowBox(identity, text, " error"); }

bool ShowWarningBox(const char* identity, const char* text) {
    return ShowBox(identity, text, " warning");
}

void TerminateProgram(int status) { exit(status); }
