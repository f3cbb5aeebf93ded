// Structured exceptions, the debugger and the tick counter. There are no
// frame-based handlers here: a raised exception goes to the vectored
// handlers, in order, and when none continues execution the process ends as
// an unhandled exception ends it on Windows, without exit handlers and with
// the exception code as its status (of which a POSIX parent sees the low
// 8 bits: 101 for the library's internal errors, 3 for a breakpoint).
#include <windows.h>

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

const int kMaxHandlers = 64;

struct Registration {
    PVECTORED_EXCEPTION_HANDLER handler;
};

// Handles are the addresses of these slots; order lists them, first called first.
std::mutex handlersLock;
Registration slots[kMaxHandlers];
Registration* order[kMaxHandlers];
int registered;

[[noreturn]] void EndUnhandled(DWORD code) {
    fprintf(stderr, "unhandled exception 0x%08X: the process ends\n", static_cast<unsigned>(code));
    fflush(stderr);
    _exit(static_cast<int>(code));
}

// True when a handler continued execution.
bool Dispatch(EXCEPTION_RECORD& record) {
    PVECTORED_EXCEPTION_HANDLER handlers[kMaxHandlers];
    int count;
    {
        std::lock_guard<std::mutex> hold(handlersLock);
        count = registered;
        for (int i = 0; i < count; ++i) handlers[i] = order[i]->handler;
    }
    EXCEPTION_POINTERS pointers = {&record, nullptr};
    for (int i = 0; i < count; ++i)
        if (handlers[i](&pointers) == EXCEPTION_CONTINUE_EXECUTION) return true;
    return false;
}

void Raise(DWORD code, DWORD flags, DWORD argumentCount, const ULONG_PTR* arguments, void* address) {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionFlags = flags & EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = address;
    // As Windows: more parameters than the record holds are cut.
    record.NumberParameters = argumentCount < EXCEPTION_MAXIMUM_PARAMETERS ? argumentCount
                                                                           : EXCEPTION_MAXIMUM_PARAMETERS;
    if (arguments)
        for (DWORD i = 0; i < record.NumberParameters; ++i) record.ExceptionInformation[i] = arguments[i];
    if (!Dispatch(record)) EndUnhandled(code);
    if (record.ExceptionFlags & EXCEPTION_NONCONTINUABLE) EndUnhandled(STATUS_NONCONTINUABLE_EXCEPTION);
}

}  // namespace

extern "C" {

PVOID AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
    if (!handler) return nullptr;
    std::lock_guard<std::mutex> hold(handlersLock);
    Registration* slot = nullptr;
    for (Registration& candidate : slots)
        if (!candidate.handler) {
            slot = &candidate;
            break;
        }
    if (!slot) return nullptr;  // a fixed table: beyond it the call fails
    slot->handler = handler;
    if (first) {
        memmove(order + 1, order, sizeof order[0] * registered);
        order[0] = slot;
    } else {
        order[registered] = slot;
    }
    ++registered;
    return slot;
}

ULONG RemoveVectoredExceptionHandler(PVOID handle) {
    std::lock_guard<std::mutex> hold(handlersLock);
    for (int i = 0; i < registered; ++i) {
        if (order[i] != handle) continue;
        order[i]->handler = nullptr;
        memmove(order + i, order + i + 1, sizeof order[0] * (registered - i - 1));
        --registered;
        return 1;
    }
    return 0;
}

void RaiseException(DWORD code, DWORD flags, DWORD argumentCount, const ULONG_PTR* arguments) {
    Raise(code, flags, argumentCount, arguments, __builtin_return_address(0));
}

void DebugBreak(void) {
    // An attached debugger stops the process here; without one the
    // breakpoint is an exception like any other.
    if (IsDebuggerPresent()) {
        raise(SIGTRAP);
        return;
    }
    Raise(EXCEPTION_BREAKPOINT, 0, 0, nullptr, __builtin_return_address(0));
}

BOOL IsDebuggerPresent(void) {
    FILE* status = fopen("/proc/self/status", "r");
    if (!status) return FALSE;
    char line[256];
    long tracer = 0;
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "TracerPid:", 10) == 0) tracer = strtol(line + 10, nullptr, 10);
    fclose(status);
    return tracer != 0;
}

DWORD GetTickCount(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<unsigned long long>(now.tv_sec) * 1000u +
                              static_cast<unsigned long long>(now.tv_nsec) / 1000000u);
}

}  // extern "C"
