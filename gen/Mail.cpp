#include "gen/Mail.h"

#include <strsafe.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "gen/Array.h"
#include "gen/Err.h"
#include "gen/File.h"
#include "gen/Ini.h"
#include "gen/Path.h"
#include "gen/Pathw32.h"
#include "gen/Shell.h"

const char* const MapiEntryNames[MapiEntryCount] = {
    "MAPILogon",      "MAPILogoff",  "MAPISendMail", "MAPIFindNext",    "MAPIReadMail",     "MAPISaveMail",
    "MAPIDeleteMail", "MAPIFreeBuffer", "MAPIAddress", "MAPIDetails", "MAPIResolveName", "MAPISendDocuments",
};

MapiBinding Mapi;

const char* const MailFormName = "form.htm";

namespace {

const unsigned kPathSize = 256;
// A piece of the form: at most 255 characters and the terminator.
const int kPieceSize = 256;

const ULONG kOriginator = 0;
const ULONG kTo = 1;
const ULONG kNotInBody = 0xFFFFFFFFu;

template <class Entry>
Entry EntryAt(MapiEntryIndex index) {
    return EntryAs<Entry>(Mapi.entries[index]);
}

void WriteEscaped(StrBuilder& copy, const char* text) {
    Str escaped = HtmlEscape(text);
    copy.Append(escaped.data, escaped.Length());
}

// One piece of the form added to the copy, filled where it asks for a text.
void FillPiece(StrBuilder& copy, const char* piece, unsigned& values, const char* address, const char* subject,
               const char* body) {
    const unsigned length = static_cast<unsigned>(strlen(piece));
    if (const char* textarea = strstr(piece, "<textarea")) {
        const char* close = strchr(textarea, '>');
        if (!close) {
            // The tag goes on past this piece: where the body would go is unknown.
            copy.Append(piece, length);
            return;
        }
        const unsigned head = static_cast<unsigned>(close + 1 - piece);
        copy.Append(piece, head);
        WriteEscaped(copy, body);
        copy.Append(piece + head, length - head);
        return;
    }
    const char kValue[] = "value=\"";
    if (const char* value = strstr(piece, kValue)) {
        // The rest starts with the quote that ended "value=\"": written twice.
        const unsigned head = static_cast<unsigned>(value - piece) + sizeof kValue - 1;
        copy.Append(piece, head);
        ++values;
        if (values == 1) WriteEscaped(copy, address);
        if (values == 2) WriteEscaped(copy, subject);
        copy.Append(piece + head - 1, length - head + 1);
        return;
    }
    copy.Append(piece, length);
}

// The form route: the filled copy in the browser. A form that cannot be
// read raises "File '%s' not found!" with its name; when only the copy
// cannot be written, the blank form itself is shown, so that the user can
// still fill it in.
void SendByForm(const char* address, const char* subject, const char* body) {
    Str copy = FillMailForm(MailFormName, address, subject, body);
    if (copy.data[0] != '\0') {
        BrowseFile(copy.data);
        return;
    }
    FILE* form = fopen(MailFormName, "r");
    if (!form) {
        RaiseErrorF("File '%s' not found!", MailFormName);
        return;
    }
    fclose(form);
    BrowseFile(Concat(CurrentFolder(), MailFormName).data);
}

}  // namespace

Str HtmlEscape(const char* text) {
    StrBuilder escaped(static_cast<unsigned>(strlen(text)));
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '&': escaped.Append("&amp;"); break;
            case '<': escaped.Append("&lt;"); break;
            case '>': escaped.Append("&gt;"); break;
            case '"': escaped.Append("&quot;"); break;
            default: escaped.Append(p, 1);
        }
    }
    return Str(escaped.storage);
}

Str MapiErrorText(unsigned code) {
    switch (code) {
        case 1: return Str("The user canceled one of the dialog boxes.\nNo message was sent.");
        case 2: return Str("\nOne or more unspecified errors occurred while \nreading the message.");
        case 3:
            return Str("There was no default logon, and the user failed\nto log on successfully when the logon "
                       "dialog box\nwas displayed. No message was sent.");
        case 4:
            return Str("An attachment could not be written to a temporary file\nbecause there was not enough "
                       "space on the disk.");
        case 5: return Str("There was insufficient memory to read the message.");
        case 8: return Str("The user had too many sessions open simultaneously.\nNo session handle was returned.");
        case 9: return Str("There were too many file attachments in the message.\nThe message could not be read.");
        case 10: return Str("There were too many recipients of the message.\nThe message could not be read.");
        case 11: return Str("The specified attachment was not found. No message \nwas sent.");
        case 12: return Str("The specified attachment could not be opened. \nNo message was sent.");
        case 13: return Str("An attachment could not be written to a temporary file.\nCheck directory permissions.");
        case 14: return Str("A recipient did not appear in the address list.\nNo message was sent.");
        case 15: return Str("The type of a recipient was not MAPI_TO, MAPI_CC, or \nMAPI_BCC. No message was sent.");
        case 17: return Str("An invalid message identifier was passed in the \nlpszMessageID parameter.");
        case 18: return Str("The text in the message was too large.\nNo message was sent.");
        case 19:
            return Str("An invalid session handle was passed in the \nlhSession parameter. No message was "
                       "retrieved.");
        case 21:
            return Str("A recipient matched more than one of the \nrecipient descriptor structures and "
                       "MAPI_DIALOG \nwas not set. No message was sent. ");
        case 25: return Str("One or more recipients were invalid or did\nnot resolve to any address.");
        default: return Str();
    }
}

bool MailAvailable(unsigned flags) {
    if (flags & MailNever) return false;
    if (flags & MailViaUrl) return true;
    if (flags & MailViaMapi) return ReadSettingNumber("|WIN.INI|MAIL|MAPI", 0) != 0;
    return false;
}

void SendMail(unsigned flags, const char* address, const char* subject, const char* body, int count, ...) {
    va_list paths;
    va_start(paths, count);
    SendMailV(flags, address, subject, body, count, paths);
    va_end(paths);
}

void SendMailV(unsigned flags, const char* address, const char* subject, const char* body, int count,
               va_list paths) {
    if (!MailAvailable(flags)) return;
    if (flags & MailViaUrl) {
        OpenShell("mailto:%s?subject=%s&body=%s", MailtoAddress(address).data, MailtoField(subject).data,
                  MailtoField(body).data);
        return;
    }
    if (flags & MailViaMapi) {
        SendMapiMail(flags, address, subject, body, count, paths);
        ReleaseMapi();
    }
}

bool BindMapi() {
    Mapi.library = LoadSystemLibrary("MAPI32.DLL");
    for (int i = 0; i < MapiEntryCount; ++i)
        Mapi.entries[i] = Mapi.library ? GetProcAddress(Mapi.library, MapiEntryNames[i]) : nullptr;
    return Mapi.library != nullptr;
}

void ReleaseMapi() {
    if (Mapi.library) FreeLibrary(Mapi.library);
    Mapi = MapiBinding();
}

void SendMapiMail(unsigned flags, const char* address, const char* subject, const char* body, int count,
                  va_list paths) {
    if (flags & MailViaForm) {
        SendByForm(address, subject, body);
        return;
    }
    if (!BindMapi()) return;
    auto logon = EntryAt<MapiLogonEntry>(MapiLogonIndex);
    auto logoff = EntryAt<MapiLogoffEntry>(MapiLogoffIndex);
    auto sendMail = EntryAt<MapiSendMailEntry>(MapiSendMailIndex);
    if (!logon || !logoff || !sendMail) return;

    Str name(address), smtpAddress = FormatStr("SMTP:%s", address), subjectText(subject), note(body);
    MapiRecipDesc originator = {0, kOriginator, nullptr, nullptr, 0, nullptr};
    MapiRecipDesc recipient = {0, kTo, name.data, smtpAddress.data, 0, nullptr};
    unsigned fileCount = count > 0 ? static_cast<unsigned>(count) : 0;
    TypedArray<MapiFileDesc> files(fileCount);
    for (unsigned i = 0; i < fileCount; ++i) {
        // MAPI only reads the paths.
        char* path = const_cast<char*>(va_arg(paths, const char*));
        MapiFileDesc* file = files.Push();
        if (!file) return;
        *file = {0, 0, kNotInBody, path, nullptr, nullptr};
    }
    MapiMessage message = {0,       subjectText.data, note.data, nullptr,    nullptr,         nullptr,
                           0,       &originator,      1,         &recipient, files.Count(),   files.begin()};

    ULONG sendFlags = 0;
    LHANDLE session = 0;
    if (logon(0, nullptr, nullptr, 0, 0, &session) != 0)
        sendFlags |= MapiLogonUi;
    else
        logoff(session, 0, 0, 0);
    if (flags & MailDialog) sendFlags |= MapiDialog;

    ULONG result = sendMail(0, 0, &message, sendFlags, 0);
    if (result != 0) MessageBoxA(nullptr, MapiErrorText(result).data, "Error", MB_OK | MB_ICONERROR);
}

Str FillMailForm(const char* formName, const char* address, const char* subject, const char* body) {
    char folder[kPathSize] = "";
    DWORD length = GetTempPathA(kPathSize, folder);
    if (length == 0 || length >= kPathSize) return Str();
    FILE* form = fopen(formName, "r");
    if (!form) return Str();
    StrBuilder filled;
    unsigned values = 0;
    char piece[kPieceSize];
    while (fgets(piece, kPieceSize, form)) FillPiece(filled, piece, values, address, subject, body);
    const bool read = !ferror(form);
    fclose(form);
    if (!read) return Str();
    // A name of its own, created new: whatever a shared temporary folder
    // holds under any name (a link an intruder planted, the form itself) is
    // never written through.
    PathParts parts(formName);
    File copy;
    if (WriteNewFile(copy, Concat(folder, parts.name).data, parts.extension.data, "CIWT", filled.storage,
                     filled.Length()))
        return Str();
    return Str(copy.fileName.data);
}
