// Starting programs, and telling the user why the system refused.
#pragma once

#include <windows.h>

// Starts commandLine (no application name: the system's rules for the first
// token apply, so quoting is the caller's), optionally waiting for it to end.
// Returns 0 once the process was created, else the system error code after a
// box that shows it. When it waited and exitCode is given, *exitCode gets the
// program's exit code (STILL_ACTIVE when the wait or the query failed, never
// 0 then); untouched when the process was not created.
DWORD StartProcess(char* commandLine, bool wait, DWORD* exitCode = nullptr);

// The system's text for code as FormatMessage gives it (ending in a line
// break), at text with its terminator; its length, 0 (text empty) when the
// system has none or it does not fit capacity bytes.
DWORD SystemErrorText(DWORD code, char* text, DWORD capacity);

// Shows an error box (caption "Error", error icon) with message, followed by
// separator and the system's text for code when the system has one.
void ShowFailureBox(const char* message, const char* separator, DWORD code);
