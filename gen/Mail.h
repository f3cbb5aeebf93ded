// Sending mail through the platform's Simple MAPI (MAPI32.DLL, bound at run
// time) or an HTML mail form shown in the browser. The "mailto:" route is
// gen/Shell's OpenShell. MAPI failures are shown in an error box, nothing is
// raised; a missing library sends nothing and shows nothing. The binding is
// process-wide and unguarded: sends must not overlap.
#pragma once

#include <windows.h>

#include <cstdarg>

#include "gen/Str.h"

// How to send: bits of one unsigned integer.
enum MailFlag : unsigned {
    MailNever = 1,     // mail is not available (wins over every other flag)
    MailViaUrl = 2,    // a "mailto:" URL; always available
    MailViaMapi = 4,   // Simple MAPI, when WIN.INI declares it
    MailViaForm = 8,   // with MailViaMapi: fill and show the mail form instead
    MailDialog = 16,   // with MailViaMapi: let the mail program show its compose dialog
};

// Whether the flags name a way to send: never with MailNever, always with
// MailViaUrl; with MailViaMapi alone when the number WIN.INI holds under
// MAIL/MAPI is not 0 (a missing key reads as 0 and is written so).
bool MailAvailable(unsigned flags);

// Sends address, subject and body, and count attachment paths after them,
// the way the flags choose; nothing when MailAvailable says no. MailViaUrl
// opens "mailto:address?subject=...&body=..." (the address as MailtoAddress,
// subject and body as MailtoField give them; attachments are dropped); otherwise MailViaMapi
// sends through SendMapiMail and releases MAPI32.DLL afterwards, so that each
// send loads it afresh.
void SendMail(unsigned flags, const char* address, const char* subject, const char* body, int count, ...);
void SendMailV(unsigned flags, const char* address, const char* subject, const char* body, int count,
               va_list paths);

// The published Simple MAPI records and the three entries called.
typedef ULONG_PTR LHANDLE;

struct MapiRecipDesc {
    ULONG ulReserved;
    ULONG ulRecipClass;  // 0 originator, 1 MAPI_TO
    LPSTR lpszName;
    LPSTR lpszAddress;
    ULONG ulEIDSize;
    LPVOID lpEntryID;
};

struct MapiFileDesc {
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;  // 0xFFFFFFFF: not placed in the body
    LPSTR lpszPathName;
    LPSTR lpszFileName;
    LPVOID lpFileType;
};

struct MapiMessage {
    ULONG ulReserved;
    LPSTR lpszSubject;
    LPSTR lpszNoteText;
    LPSTR lpszMessageType;
    LPSTR lpszDateReceived;
    LPSTR lpszConversationID;
    ULONG flFlags;
    MapiRecipDesc* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDesc* lpRecips;
    ULONG nFileCount;
    MapiFileDesc* lpFiles;
};

const ULONG MapiLogonUi = 0x1;  // MAPI_LOGON_UI
const ULONG MapiDialog = 0x8;   // MAPI_DIALOG

typedef ULONG(WINAPI* MapiLogonEntry)(ULONG_PTR window, LPSTR profile, LPSTR password, ULONG flags,
                                      ULONG reserved, LHANDLE* session);
typedef ULONG(WINAPI* MapiLogoffEntry)(LHANDLE session, ULONG_PTR window, ULONG flags, ULONG reserved);
typedef ULONG(WINAPI* MapiSendMailEntry)(LHANDLE session, ULONG_PTR window, MapiMessage* message,
                                         ULONG flags, ULONG reserved);

// The twelve entries in the order BindMapi looks them up; only the first
// three are called.
enum MapiEntryIndex {
    MapiLogonIndex,
    MapiLogoffIndex,
    MapiSendMailIndex,
    MapiFindNextIndex,
    MapiReadMailIndex,
    MapiSaveMailIndex,
    MapiDeleteMailIndex,
    MapiFreeBufferIndex,
    MapiAddressIndex,
    MapiDetailsIndex,
    MapiResolveNameIndex,
    MapiSendDocumentsIndex,
    MapiEntryCount
};
extern const char* const MapiEntryNames[MapiEntryCount];

// The process-wide binding: the library's handle (null: not loaded) and each
// entry, null where the library lacks it.
struct MapiBinding {
    HMODULE library;
    FARPROC entries[MapiEntryCount];
};
extern MapiBinding Mapi;

// Loads MAPI32.DLL from the system folder by its full path (never by the
// search rules, which also look in the program's folder) and looks up the
// twelve entries; false, with everything null, when it did not load.
bool BindMapi();
// Releases the library when loaded and forgets the binding.
void ReleaseMapi();

// The text for a result of "MAPISendMail"; the empty text for codes not listed.
Str MapiErrorText(unsigned code);

// The MAPI route (flags, recipient address, subject, body, then count paths
// of attachments; a negative count means none). With MailViaForm the mail
// form route runs instead. A library lacking "MAPILogon", "MAPILogoff" or
// "MAPISendMail" counts as missing: nothing is sent or shown. The caller
// releases the binding after the send (ReleaseMapi).
void SendMapiMail(unsigned flags, const char* address, const char* subject, const char* body, int count,
                  va_list paths);

// The form's name, looked up in the current folder, for the form route.
extern const char* const MailFormName;

// Copies the form formName to a new file of its own in the temporary folder
// (File's OpenNew: the form's name, "~", a number, its extension, created
// exclusively, so nothing already there is written through), inserting the address after the first "value=\"" of the form, the
// subject after the second (later ones get nothing) and the body after the
// opening tag of a "<textarea"; &, <, > and " in the inserted texts are
// written as HTML references, so the form shows exactly the text passed.
// The form is read in pieces of at most 255 characters, each ending after a
// line feed; only a piece's first "<textarea" or else its first "value=\""
// is filled, and a "<textarea" piece without '>' after it is copied
// unchanged. Returns the copy's path, or the empty text when the form cannot
// be read or the copy cannot be created, written or closed (a copy begun is
// removed).
Str FillMailForm(const char* formName, const char* address, const char* subject, const char* body);

// The inserted texts of the form as written: &, <, > and " as references.
Str HtmlEscape(const char* text);
