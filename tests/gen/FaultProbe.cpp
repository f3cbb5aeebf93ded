// A client of the fault reports, as a program would be one: its
// unhandled-fault filter reports the access violation it meets (the address
// it read) and lets the program end. The command line names the settings
// file to bind.
#include <windows.h>

#include <cstdint>

#include "gen/Ini.h"
#include "gen/Report.h"
#include "gen/Str.h"

namespace {

LONG WINAPI ReportFault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
        Str details = FormatStr("read by the instruction at %p", record.ExceptionAddress);
        ReportProtectionFault("Access violation", static_cast<unsigned>(record.ExceptionInformation[1]),
                              " (fault_probe)", details.data);
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    BindSettingsFile(commandLine, false, true);
    SetUnhandledExceptionFilter(ReportFault);
    // In the first page, which is never mapped; read from a volatile so that
    // the compiler cannot tell.
    volatile uintptr_t unmapped = 0x10;
    return *reinterpret_cast<volatile int*>(unmapped);
}
