// Error frames, the raise entries and the dispatcher.
#include "gen/Err.h"

#include <cstdio>
#include <utility>

namespace {

const char kAssertionTemplate[] =
    "Internal error. Trap to the debugger?\n\nAssertion failed at '%s' line %d\n";
const char kCheckTemplate[] =
    "Internal error. Trap to the debugger?\n\nCheck failed at '%s' line %d\n";
const char kSignalTemplate[] = "Internal error. Trap to the debugger?\n\nAborted by signal '%s'\n";
const char kProtectionFaultTemplate[] =
    "Internal error. Trap to the debugger?\n\nGeneral Protection Fault '%s' occured at 0x%08X\n";
const char kDoubleNestedTemplate[] =
    "Internal error. Trap to the debugger?\n\nDouble nested error\nFirst: {\n%s\n}\nNested: {\n%s\n}\n";
const char kTripleNestedTemplate[] =
    "Internal error. Trap to the debugger?\n\nTriple nested error\nCannot refine details\n";
const char kNotImplementedTemplate[] =
    "Internal error. Trap to the debugger?\n\nAttempt to use non implemented feature\nat '%s' line "
    "%d\n";

const char kNoValidFrame[] = "Internal error\n\nNo valid error frame found at Gen/Err";

// Zero until the first TopFrameSlot, which may come before any static
// constructor has run.
ErrFrame* topFrame;
char nestedText[NestedTextSize];
RaiseHook raiseHook;

// Both bounded writers are cut, never written past: the terminator is set
// afterwards, as some runtimes leave a cut text open.
void FormatCut(char* buffer, unsigned size, const char* format, va_list arguments) {
    buffer[0] = '\0';
    vsnprintf(buffer, size, format, arguments);
    buffer[size - 1] = '\0';
}

void PrintCut(char* buffer, unsigned size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    FormatCut(buffer, size, format, arguments);
    va_end(arguments);
}

// The text of the frame below the top: what the first of two errors left.
const char* FirstPart(const ErrFrame& top) {
    if (!top.outer) return kNoValidFrame;
    if (top.outer->message.data) return top.outer->message.data;
    return top.outer->id ? top.outer->id : "(null)";
}

void DispatchFirst(const char* identity, const char* text, const char* format, va_list arguments) {
    ErrFrame& top = **TopFrameSlot();
    if (text) {
        top.message = text;
    } else {
        va_list forText;
        va_copy(forText, arguments);
        const char* applied = format ? format : MessageText(identity);
        top.message = applied ? FormatStrV(applied, forText) : Str();
        va_end(forText);
    }
    va_list forDecision;
    va_copy(forDecision, arguments);
    bool deliver = ShouldDeliver(identity, top.message.data, text ? nullptr : &forDecision);
    va_end(forDecision);
    if (deliver) {
        top.raised = true;
        top.id = identity;
        DeliverError(top);
    }
    if (ErrorDepth > 0) --ErrorDepth;
}

void DispatchDoubleNested(const char* identity, const char* text, const char* format,
                          va_list arguments) {
    const ErrFrame& top = **TopFrameSlot();
    // Copied even when ready: the text may lie in FormatBuffer, which the
    // combined text is written to.
    if (text) {
        PrintCut(nestedText, sizeof nestedText, "%s", text);
    } else {
        va_list forText;
        va_copy(forText, arguments);
        const char* applied = format ? format : identity;
        FormatCut(nestedText, sizeof nestedText, applied ? applied : "", forText);
        va_end(forText);
    }
    PrintCut(FormatBuffer, FormatBufferSize, InternalTemplates[DoubleNestedTemplate], FirstPart(top),
             nestedText);
    va_list forDecision;
    va_copy(forDecision, arguments);
    bool deliver = ShouldDeliver(InternalTemplates[DoubleNestedTemplate], FormatBuffer, &forDecision);
    va_end(forDecision);
    if (deliver) TerminateProgram(RaisedExitStatus);
}

}  // namespace

int ErrorDepth;

const char* const InternalTemplates[InternalTemplateCount] = {
    kAssertionTemplate,      kCheckTemplate,        kSignalTemplate,        kProtectionFaultTemplate,
    kDoubleNestedTemplate,   kTripleNestedTemplate, kNotImplementedTemplate,
};

bool IsInternalTemplate(const char* identity) {
    for (const char* entry : InternalTemplates)
        if (identity == entry) return true;
    return false;
}

ErrFrame::ErrFrame() {
    message.Release();
    Clear();
}

ErrFrame::ErrFrame(const ErrFrame& other) : id(other.id), raised(other.raised), outer(other.outer) {
    if (other.message.data) {
        message = other.message;
    } else {
        message.Release();
    }
}

ErrFrame::~ErrFrame() { Leave(); }

void ErrFrame::Clear() {
    id = nullptr;
    raised = false;
    outer = nullptr;
}

void ErrFrame::Enter() {
    id = nullptr;
    message.Release();
    ErrFrame** slot = TopFrameSlot();
    outer = *slot;
    *slot = this;
}

bool ErrFrame::Caught() {
    if (raised) {
        raised = false;
        return true;
    }
    Leave();
    return false;
}

void ErrFrame::Propagate() {
    if (!id) return;
    const char* identity = id;
    Str text;
    if (message.data) {
        text = std::move(message);
        message.Release();
    }
    Leave();
    (*TopFrameSlot())->message = text;
    DispatchReady(identity, text.data);
}

void ErrFrame::Leave() {
    if (id && outer && ErrorDepth > 0) --ErrorDepth;
    if (outer) {
        *TopFrameSlot() = outer;
        outer = nullptr;
    }
}

ErrFrame** TopFrameSlot() {
    if (!topFrame) {
        BottomFrame.message.Release();
        BottomFrame.Clear();
        topFrame = &BottomFrame;
    }
    return &topFrame;
}

const char* MessageText(const char* messageTemplate) { return messageTemplate; }

void DispatchError(const char* identity, const char* text, const char* format, va_list arguments) {
    if (raiseHook && raiseHook(identity, text ? text : format ? format : identity)) return;
    int level = ErrorDepth++;
    if (level == 0) {
        DispatchFirst(identity, text, format, arguments);
    } else if (level == 1) {
        DispatchDoubleNested(identity, text, format, arguments);
    } else {
        // Shown as it is: nothing more can be trusted to format.
        const char* triple = InternalTemplates[TripleNestedTemplate];
        va_list forDecision;
        va_copy(forDecision, arguments);
        bool deliver = ShouldDeliver(triple, triple, &forDecision);
        va_end(forDecision);
        if (deliver) TerminateProgram(RaisedExitStatus);
    }
}

void DispatchReady(const char* identity, const char* text, ...) {
    va_list none;
    va_start(none, text);
    DispatchError(identity, text, nullptr, none);
    va_end(none);
}

void DeliverError(ErrFrame& frame) {
    if (frame.outer) throw ErrFrame(frame);
    ShowErrorBox(frame.id, frame.message.data);
    if (ErrorDepth > 0) --ErrorDepth;
    TerminateProgram(RaisedExitStatus);
}

RaiseHook SetRaiseHookForTesting(RaiseHook hook) {
    RaiseHook previous = raiseHook;
    raiseHook = hook;
    return previous;
}

void RaiseError(const char* messageTemplate, ...) {
    va_list arguments;
    va_start(arguments, messageTemplate);
    DispatchError(messageTemplate, nullptr, nullptr, arguments);
    va_end(arguments);
}

void RaiseErrorF(const char* messageTemplate, ...) {
    va_list arguments;
    va_start(arguments, messageTemplate);
    DispatchError(messageTemplate, nullptr, messageTemplate, arguments);
    va_end(arguments);
}

void RaiseErrorV(const char* messageTemplate, va_list arguments) {
    DispatchError(messageTemplate, nullptr, nullptr, arguments);
}

void RaiseErrorId(const char* identity, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    DispatchError(identity, nullptr, format, arguments);
    va_end(arguments);
}

void RaiseErrorIdV(const char* identity, const char* format, va_list arguments) {
    DispatchError(identity, nullptr, format, arguments);
}

void AssertFailed(const char* sourcePath, int line) {
    RaiseError(InternalTemplates[AssertionTemplate], sourcePath, line);
}

void AssertFailedAt(const char* sourcePath, int line) { AssertFailed(sourcePath, line); }

void CheckFailed(const char* sourcePath, int line) {
    RaiseError(InternalTemplates[CheckTemplate], sourcePath, line);
}

void RaiseProtectionFault(const char* faultName, unsigned address) {
    RaiseError(InternalTemplates[ProtectionFaultTemplate], faultName, address);
}

void NotImplemented(const char* sourcePath, int line) {
    RaiseError(InternalTemplates[NotImplementedTemplate], sourcePath, line);
}
