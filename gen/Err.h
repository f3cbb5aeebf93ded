// Raising errors. Every failure inside the library is raised, never
// returned: the raise entries build the error's text in the top error frame
// and deliver it, either thrown to the innermost protected scope or shown in
// an error box before the program ends. A raise comes back only when a
// developer dealt with the error in the debugger, so code after a raise must
// tolerate running on.
#pragma once

#include <cstdarg>

#include "gen/Str.h"

// An error frame, and the exception object a raise throws to a protected
// scope. Frames form a stack through outer; the bottom frame (outer null)
// receives errors when no protected scope is active.
struct ErrFrame {
    const char* id;    // the template the held error was raised with; null: none
    Str message;       // the error's text; no text (null data) after Enter
    bool raised;       // delivered here and not yet consumed by Caught
    ErrFrame* outer;   // the top frame when this one was entered; null: not linked

    // Unlinked, holding nothing, message without text.
    ErrFrame();
    // Each thrown copy is destroyed by the rule below too.
    ErrFrame(const ErrFrame& other);
    // Holding an error and linked: the error is no longer in progress
    // (ErrorDepth down, never below 0). Linked: outer becomes the top again.
    ~ErrFrame();
    ErrFrame& operator=(const ErrFrame&) = delete;

    // id null, raised false, outer null; the message stays.
    void Clear();
    // Frees the message, links this frame on top of the current top.
    void Enter();
    // True once after an error was delivered here; otherwise leaves the
    // frame (as destruction does, keeping the message) and returns false.
    bool Caught();
    // With an error held: leaves the frame and raises the error again, same
    // identity and text, to the enclosing scope.
    void Propagate();

private:
    void Leave();
};

// A protected scope for client code, used in this order:
//   ERR_TRY(scope) { ...code that may raise... }
//   ERR_CATCH(error) { ...error.id, error.message...; scope.Propagate() to pass it on }
//   if (scope.Caught()) ...
// Declares the frame scope in the enclosing block; its destructor unlinks it.
#define ERR_TRY(scope) \
    ErrFrame scope;    \
    scope.Enter();     \
    try
#define ERR_CATCH(error) catch (ErrFrame & error)

// The address of the process-wide slot holding the top frame; the first use
// clears the bottom frame and makes it the top.
ErrFrame** TopFrameSlot();
// The frame that receives errors when no protected scope is active.
extern ErrFrame BottomFrame;
// Errors in progress; never below 0. At 1 a further raise is a double
// nested error, at 2 or more a triple nested one.
extern int ErrorDepth;

// The internal message templates, told apart by pointer, never by text.
enum InternalTemplate {
    AssertionTemplate,
    CheckTemplate,
    SignalTemplate,
    ProtectionFaultTemplate,
    DoubleNestedTemplate,
    TripleNestedTemplate,
    NotImplementedTemplate,
    InternalTemplateCount
};
extern const char* const InternalTemplates[InternalTemplateCount];
bool IsInternalTemplate(const char* identity);

// The non-zero status a program ends with after a raised error.
const int RaisedExitStatus = 9;
// The nested-text buffer: the nested part of a double nested error is cut to
// fit it (terminator included), as the combined text is cut to FormatBuffer.
const unsigned NestedTextSize = 100000;

// The raise entries. identity is the template pointer that names the error.
void RaiseError(const char* messageTemplate, ...);
void RaiseErrorF(const char* messageTemplate, ...);
void RaiseErrorV(const char* messageTemplate, va_list arguments);
void RaiseErrorId(const char* identity, const char* format, ...);
void RaiseErrorIdV(const char* identity, const char* format, va_list arguments);
void AssertFailed(const char* sourcePath, int line);
void AssertFailedAt(const char* sourcePath, int line);
void CheckFailed(const char* sourcePath, int line);
void RaiseProtectionFault(const char* faultName, unsigned address);
void NotImplemented(const char* sourcePath, int line);

// The central entry: text is a finished message or null; otherwise format
// (or, when null, MessageText(identity)) is applied to arguments.
void DispatchError(const char* identity, const char* text, const char* format, va_list arguments);
// DispatchError of a finished text, for callers without an argument list.
void DispatchReady(const char* identity, const char* text, ...);
// The text a message template is shown under: the template itself.
const char* MessageText(const char* messageTemplate);
// Throws a copy of a linked frame; at the bottom frame shows the error box
// and ends the program.
void DeliverError(ErrFrame& frame);

// The decisions and boxes between building an error's text and delivering it.
extern Str ErrorCaption;  // "Error", for the debugger offer and assertion texts
// The structured exception internal errors raise: continuable, one
// parameter, the address of a text naming the report kind ("Asserted").
const unsigned long InternalErrorException = 101;
// arguments: the raise's argument list, or null for a ready text.
bool ShouldDeliver(const char* identity, const char* text, va_list* arguments);
// Yes/No box; true only when the developer stayed in an attached debugger
// for more than 170 ms. Without a debugger a Yes counts as not trapped.
bool OfferDebugger(const char* text);
// A configured text for a failed assertion (source path, then line), shown
// when found; arguments may be null (a propagated assertion): nothing found.
bool ShowAssertText(va_list* arguments);
// The key a failed assertion's configured text is stored under: line, the
// innermost folder and the file name, lower-cased ("74 gen/array.cpp").
Str AssertSettingKey(const char* sourcePath, int line);
// "<program file name> error" / " warning" boxes; nothing for a null or
// internal identity. Always true.
bool ShowErrorBox(const char* identity, const char* text);
bool ShowWarningBox(const char* identity, const char* text);
// The runtime's orderly exit: exit handlers and static destructors run.
[[noreturn]] void TerminateProgram(int status);

// Testing seam, for the library's own tests only: while a hook is set, every
// raise calls it first, before any text is built or frame touched, with the
// identity and the ready text or else the unapplied format. When it answers
// true the raise returns to the raiser at once, as it does after a developer
// dealt with the error in the debugger; when false the raise goes on as
// usual. Returns the hook it replaces (null: none).
using RaiseHook = bool (*)(const char* identity, const char* text);
RaiseHook SetRaiseHookForTesting(RaiseHook hook);
