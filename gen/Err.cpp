// The raise entries. Until protected scopes exist every error is delivered
// the one way a program without them has: the message in an error box,
// then the end of the program with a non-zero status.
#include "gen/Err.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char kAssertionTemplate[] =
    "Internal error. Trap to the debugger?\n\nAssertion failed at '%s' line %d\n";
const char kCheckTemplate[] =
    "Internal error. Trap to the debugger?\n\nCheck failed at '%s' line %d\n";
const char kProtectionFaultTemplate[] =
    "Internal error. Trap to the debugger?\n\nGeneral Protection Fault '%s' occured at 0x%08X\n";
const char kNotImplementedTemplate[] =
    "Internal error. Trap to the debugger?\n\nAttempt to use non implemented feature\nat '%s' line "
    "%d\n";

const int kRaisedExitStatus = 3;
// Longer messages are cut: the box only has to tell what went wrong.
const size_t kTextBytes = 4096;

RaiseHook raiseHook;
// A raise while showing another (the box itself running out of memory)
// ends the program at once rather than recursing.
bool delivering;

struct MessageText {
    char text[kTextBytes];
};

void Format(MessageText& message, const char* format, va_list arguments) {
    vsnprintf(message.text, sizeof message.text, format, arguments);
    message.text[sizeof message.text - 1] = '\0';  // some runtimes leave a cut text open
}

void Deliver(const char* identity, const MessageText& message) {
    if (raiseHook) {
        raiseHook(identity, message.text);
        return;
    }
    if (!delivering) {
        delivering = true;
        MessageBoxA(nullptr, message.text, "Error", MB_OK | MB_ICONERROR);
    }
    exit(kRaisedExitStatus);
}

void DeliverV(const char* identity, const char* format, va_list arguments) {
    MessageText message;
    Format(message, format, arguments);
    Deliver(identity, message);
}

// Formats before delivering, so that a hook throwing leaves no argument list open.
void DeliverF(const char* identity, const char* format, ...) {
    MessageText message;
    va_list arguments;
    va_start(arguments, format);
    Format(message, format, arguments);
    va_end(arguments);
    Deliver(identity, message);
}

}  // namespace

RaiseHook SetRaiseHookForTesting(RaiseHook hook) {
    RaiseHook previous = raiseHook;
    raiseHook = hook;
    return previous;
}

void RaiseError(const char* messageTemplate, ...) {
    MessageText message;
    va_list arguments;
    va_start(arguments, messageTemplate);
    Format(message, messageTemplate, arguments);
    va_end(arguments);
    Deliver(messageTemplate, message);
}

void RaiseErrorF(const char* messageTemplate, ...) {
    MessageText message;
    va_list arguments;
    va_start(arguments, messageTemplate);
    Format(message, messageTemplate, arguments);
    va_end(arguments);
    Deliver(messageTemplate, message);
}

void RaiseErrorV(const char* messageTemplate, va_list arguments) {
    DeliverV(messageTemplate, messageTemplate, arguments);
}

void RaiseErrorId(const char* identity, const char* format, ...) {
    MessageText message;
    va_list arguments;
    va_start(arguments, format);
    Format(message, format, arguments);
    va_end(arguments);
    Deliver(identity, message);
}

void RaiseErrorIdV(const char* identity, const char* format, va_list arguments) {
    DeliverV(identity, format, arguments);
}

void AssertFailed(const char* sourcePath, int line) {
    DeliverF(kAssertionTemplate, kAssertionTemplate, sourcePath, line);
}

void AssertFailedAt(const char* sourcePath, int line) { AssertFailed(sourcePath, line); }

void CheckFailed(const char* sourcePath, int line) {
    DeliverF(kCheckTemplate, kCheckTemplate, sourcePath, line);
}

void RaiseProtectionFault(const char* faultName, unsigned address) {
    DeliverF(kProtectionFaultTemplate, kProtectionFaultTemplate, faultName, address);
}

void NotImplemented(const char* sourcePath, int line) {
    DeliverF(kNotImplementedTemplate, kNotImplementedTemplate, sourcePath, line);
}
