// Problem reports of a failed assertion, an abort by a signal and a general
// protection fault, mailed to the address the settings file configures.
// Client code calls them from its own assertion hook, signal handler,
// unhandled-fault filter or handler of the internal-error exception
// (InternalErrorException, gen/Err) with what it knows; the library's raise
// entries (AssertFailed, RaiseProtectionFault, ...) raise and never report. The entries raise nothing
// of their own and do not end the program: they send and return. Failures of
// the store and the mail routes are raised, or shown, by those modules.
//
// Settings (relative setting paths, section Report and Internet):
//   Report|Assert, Report|Signal, Report|GPF   the subject templates; a
//       missing one reads as its default, which is written to the store.
//       A configured template must take the default's arguments: one whose
//       conversions differ from the default's, in kind, length or order, or
//       carry a width or precision of more than 4 digits, is not used as a
//       format (the default is) and stays stored as it is.
//   Internet|MAutomated                        the recipient (see SendReport).
// While no settings file is bound nothing is read or written: the subjects
// use the built-in templates and the recipient is empty on both routes.
#pragma once

// The subject is the template filled with the subject arguments and cut to
// ReportSubjectLimit characters; suffix follows it directly. The body names
// the fault on its first line and carries details after a CR LF. Callers
// pass "" when they have nothing to add.
const unsigned ReportSubjectLimit = 127;

// Subject "Asserted at %s %d%s": source path, line, suffix.
void ReportAssertion(const char* sourcePath, int line, const char* suffix, const char* details);
// Subject "Signalled %s%s": signal name, suffix.
void ReportSignal(const char* signalName, const char* suffix, const char* details);
// Subject "Gpfed %s 0x%08lX%s": fault name, address, suffix.
void ReportProtectionFault(const char* faultName, unsigned address, const char* suffix, const char* details);

// With MAPI declared in WIN.INI (MailAvailable(MailViaMapi)): through MAPI
// to Internet|MAutomated (a missing key gives the store's "not found" text,
// which the user sees and mends in the compose dialog), asking for that
// dialog, no attachment. Otherwise a "mailto:" URL to Internet|MAutomated|
// (missing: empty, written so) with the subject alone; the body is dropped.
void SendReport(const char* subject, const char* body);

// Whether format takes the same arguments as model: the same conversions in
// the same order, each alike in its length modifier and in the kind of
// argument (%d and %i; %u, %o, %x and %X; %s; ...); flags, widths and
// precisions may differ and %% is free; a '*' width or precision takes an
// argument of its own; a positional argument, a width or precision written
// with more than 4 digits, or a conversion this check does not know never
// matches.
bool TakesArgumentsOf(const char* format, const char* model);
