// Raising errors. Every failure inside the library is raised, never
// returned; a raise delivers the error and, in the programs, ends them.
// A raise comes back only when a developer dealt with the error in the
// debugger, so code after a raise must tolerate running on.
#pragma once

#include <cstdarg>

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

// Testing seam, for the library's own tests only, until protected scopes
// exist: while a hook is set, every raise calls it with the error's identity
// (its template) and finished text instead of showing the error and ending
// the program. The hook may throw to unwind the raiser; if it returns, the
// raise returns to its caller. Returns the hook it replaces (null: none).
using RaiseHook = void (*)(const char* identity, const char* text);
RaiseHook SetRaiseHookForTesting(RaiseHook hook);
