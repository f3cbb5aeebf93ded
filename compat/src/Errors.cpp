// Last error and the system's error texts.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

struct SystemText {
    DWORD code;
    const char* text;
};

// The English texts of Windows, each ending in CRLF as the system's do.
const SystemText systemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {18, "There are no more files.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {203, "The system could not find the environment option that was entered.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1400, "Invalid window handle.\r\n"},
};

const char* FindSystemText(DWORD code) {
    for (const SystemText& entry : systemTexts) {
        if (entry.code == code) return entry.text;
    }
    return nullptr;
}

bool HasInsert(const char* text) {
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') return true;
    }
    return false;
}

// A width in the low byte makes the system drop the text's own line breaks
// (each becomes a blank); no re-wrapping is done here, the system texts being
// single lines.
std::string ApplyWidth(const char* text, DWORD width) {
    std::string result;
    for (const char* p = text; *p; ++p) {
        if (width != 0 && p[0] == '\r' && p[1] == '\n') {
            result += ' ';
            ++p;
        } else {
            result += *p;
        }
    }
    return result;
}

}  // namespace

extern "C" {

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD /*languageId*/,
                     LPSTR buffer, DWORD size, void* /*arguments*/) {
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The system clears the caller's pointer when it allocates nothing.
    if (allocate) *reinterpret_cast<LPSTR*>(buffer) = nullptr;

    const char* text = FindSystemText(messageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    // Inserts need arguments, which no caller here passes.
    if (!(flags & FORMAT_MESSAGE_IGNORE_INSERTS) && HasInsert(text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string message = ApplyWidth(text, flags & FORMAT_MESSAGE_MAX_WIDTH_MASK);
    const DWORD length = static_cast<DWORD>(message.size());

    if (allocate) {
        // size is then the least number of bytes to allocate.
        SIZE_T bytes = length + 1u > size ? length + 1u : size;
        LPSTR memory = static_cast<LPSTR>(LocalAlloc(LMEM_FIXED, bytes));
        if (memory == nullptr) return 0;  // LocalAlloc set the error
        memcpy(memory, message.c_str(), length + 1u);
        *reinterpret_cast<LPSTR*>(buffer) = memory;
        return length;
    }
    if (size < length + 1u) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, message.c_str(), length + 1u);
    return length;
}

}  // extern "C"
