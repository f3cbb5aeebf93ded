// Opening web pages, local files and "mailto:" addresses in the programs the
// user's system associates with them, without a window of our own. Two ways
// are combined: the command the system registers for "http" addresses, and
// the URL handler of the system's url.dll (or, when that cannot be called,
// rundll32 running it). Nothing is raised and no failure is reported beyond
// OpenInDefaultBrowser's result: what cannot be opened is dropped silently.
#pragma once

#include "gen/Str.h"

// "mailto:address?subject=subject" through OpenShell; the address as
// MailtoAddress and the subject as MailtoField give them.
void MailTo(const char* address, const char* subject);
// The URL in the default browser, else through OpenShell unchanged.
void Browse(const char* url);
// Host and path without a scheme: as they are in the default browser, else
// through OpenShell with "http://" before them.
void BrowseWeb(const char* hostAndPath);
// "file://path" through OpenShell; the browser's registration is not used.
void BrowseFile(const char* path);

// Starts the command registered for "http" addresses (the default value of
// HKEY_CLASSES_ROOT's "http\shell\open\command") with argument, as
// BrowserCommandLine builds it; true when the registration was read, held a
// command (an empty or blank one counts as none) and the command was handed
// to the system, whether or not it started.
bool OpenInDefaultBrowser(const char* argument);

// Opens the URL format filled with a1 to a3 (printf rules; entries that need
// fewer pass ""), each line feed in it made "%0D%0A" and nothing else
// escaped. url.dll is loaded from the system folder by its full path, never
// by the search rules, which would also look in the program's folder.
void OpenShell(const char* format, const char* a1 = "", const char* a2 = "", const char* a3 = "");

// A subject or body for a "mailto:" URL: '%', '&' and '#' percent-encoded,
// so that the text is neither cut short nor read as escapes; every other
// byte as it is.
Str MailtoField(const char* text);
// The address of a "mailto:" URL: as MailtoField, and '?' too, so that the
// address can neither start the URL's fields (another recipient) nor end.
Str MailtoAddress(const char* address);

// The command line that opens argument with a registered command. command
// holds size bytes and a terminator after them (it may hold earlier NULs);
// it is lower-cased in place, the argument is not. A command whose program
// ends in ".exe " keeps the text up to that blank and gets the argument
// after it, dropping whatever followed (switches, placeholders). Otherwise a
// command holding "%1" gets the argument in place of each "%1"; any other
// command gets one blank and the argument after it. The argument is never
// quoted: each '"', blank, tab and control character in it is
// percent-encoded (%22, %20, %09, ...), so that it stays one argument inside
// the registration's quotes or without them; every other byte is kept. An
// empty or blank command (up to its first NUL) gives the empty text.
Str BrowserCommandLine(char* command, unsigned size, const char* argument);

// The command that has rundll32 run url.dll's handler for url: off the NT
// family "start rundll32 url.dll,FileProtocolHandler " and the URL's first
// 400 characters, unquoted; on it the system folder (ending in a separator),
// "rundll32 url.dll,FileProtocolHandler " and the whole URL in quotes. Each
// '"' and control character of the URL is percent-encoded; blanks stay.
Str ProtocolHandlerCommand(const char* url, bool windowsNT, const char* systemFolder);
