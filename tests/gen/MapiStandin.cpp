// A stand-in for the system's MAPI32.DLL, planted in the test prefix's
// system folder (WINEDLLOVERRIDES has Wine load it instead of its own). It
// appends to the file named by KORVEL_RECORD, tab-separated (texts with CR
// and LF as \r and \n):
//   loaded <TAB> its own path
//   logon <TAB> window <TAB> profile null? <TAB> password null? <TAB> flags <TAB> reserved
//   logoff <TAB> session
//   send <TAB> session <TAB> window <TAB> flags <TAB> subject <TAB> note
//        <TAB> type, date, conversation null? <TAB> message flags
//        <TAB> originator: class, name, address null?, entry id size, entry id null?
//        <TAB> recipient count <TAB> recipient: class, name, address, entry id size, entry id null?
//        <TAB> file count, then per file: reserved, flags, position, path, name null?, type null?
// KORVEL_MAPI_LOGON=fail makes the logon fail (code 3); KORVEL_MAPI_RESULT is
// the code the send returns (default 0). Built again with NO_SEND, lacking
// "MAPISendMail".
#include <windows.h>

#include <cstdio>
#include <string>

#include "gen/Mail.h"

namespace {

const LHANDLE kSession = 0x5E55;

std::string Variable(const char* name) {
    char value[4096];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? "" : std::string(value, length);
}

void Record(const std::string& line) {
    std::string recordFile = Variable("KORVEL_RECORD");
    if (recordFile.empty()) return;
    FILE* file = std::fopen(recordFile.c_str(), "ab");
    if (!file) return;
    std::fputs((line + '\n').c_str(), file);
    std::fclose(file);
}

std::string Null(const void* pointer) { return pointer ? "set" : "null"; }
// CR and LF written as \r and \n, keeping each record on one line.
std::string Text(const char* text) {
    if (!text) return "(null)";
    std::string escaped;
    for (const char* p = text; *p; ++p) escaped += *p == '\r' ? "\\r" : *p == '\n' ? "\\n" : std::string(1, *p);
    return escaped;
}
std::string Number(unsigned long long n) { return std::to_string(n); }

[[maybe_unused]] std::string Recipient(const MapiRecipDesc* r) {
    if (!r) return "(none)";
    return Number(r->ulRecipClass) + ',' + Text(r->lpszName) + ',' + Text(r->lpszAddress) + ',' +
           Number(r->ulEIDSize) + ',' + Null(r->lpEntryID);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[4096] = "";
        GetModuleFileNameA(instance, path, sizeof path);
        Record(std::string("loaded\t") + path);
    }
    return TRUE;
}

extern "C" {

__declspec(dllexport) int KorvelStandin() { return 1; }

__declspec(dllexport) ULONG WINAPI MAPILogon(ULONG_PTR window, LPSTR profile, LPSTR password, ULONG flags,
                                             ULONG reserved, LHANDLE* session) {
    Record("logon\t" + Number(window) + '\t' + Null(profile) + '\t' + Null(password) + '\t' + Number(flags) +
           '\t' + Number(reserved));
    if (Variable("KORVEL_MAPI_LOGON") == "fail") return 3;
    *session = kSession;
    return 0;
}

__declspec(dllexport) ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR, ULONG, ULONG) {
    Record("logoff\t" + Number(session));
    return 0;
}

#ifndef NO_SEND
__declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR window, MapiMessage* m, ULONG flags,
                                                ULONG) {
    std::string line = "send\t" + Number(session) + '\t' + Number(window) + '\t' + Number(flags) + '\t' +
                       Text(m->lpszSubject) + '\t' + Text(m->lpszNoteText) + '\t' + Null(m->lpszMessageType) +
                       ',' + Null(m->lpszDateReceived) + ',' + Null(m->lpszConversationID) + '\t' +
                       Number(m->flFlags) + '\t' + Recipient(m->lpOriginator) + '\t' + Number(m->nRecipCount) +
                       '\t' + Recipient(m->lpRecips) + '\t' + Number(m->nFileCount);
    for (ULONG i = 0; i < m->nFileCount; ++i) {
        const MapiFileDesc& f = m->lpFiles[i];
        line += '\t' + Number(f.ulReserved) + ',' + Number(f.flFlags) + ',' + Number(f.nPosition) + ',' +
                Text(f.lpszPathName) + ',' + Null(f.lpszFileName) + ',' + Null(f.lpFileType);
    }
    Record(line);
    std::string result = Variable("KORVEL_MAPI_RESULT");
    return result.empty() ? 0 : static_cast<ULONG>(std::stoul(result));
}
#endif

// The entries the library binds but never calls.
__declspec(dllexport) ULONG WINAPI MAPIFindNext() { return 0; }
__declspec(dllexport) ULONG WINAPI MAPIReadMail() { return 0; }
__declspec(dllexport) ULONG WINAPI MAPISaveMail() { return 0; }
__declspec(dllexport) ULONG WINAPI MAPIDeleteMail() { return 0; }
__declspec(dllexport) ULONG WINAPI MAPIFreeBuffer() { return 0; }
__declspec(dllexport) ULONG WINAPI MAPIAddress() { return 0; }
__declspec(dllexport) ULONG WINAPI MAPIDetails() { return 0; }
__declspec(dllexport) ULONG WINAPI MAPIResolveName() { return 0; }
__declspec(dllexport) ULONG WINAPI MAPISendDocuments() { return 0; }

}  // extern "C"
