// Setting paths, reading and writing settings, binding the settings file.
#include "gen/Ini.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "gen/Err.h"
#include "gen/Path.h"
#include "gen/Pathw32.h"

const char MissingKeySentinel[] = ")(@*#_$)*R&";
const char SettingsFileNotFound[] = "File Korvel.INI not found in: %s";

namespace {

const char kSourcePath[] = "..\\gen\\Ini.cpp";
const int kChecksumUnreadableLine = 84;
const int kChecksumMismatchLine = 86;

const char kSuffixes[] = "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const char kNotFound[] = "%s [%s] %s= not found";
const char kLanguageSetting[] = "Options|Language||%s|%s|%s";
const char kOwnLocation[] = "|%s|%s|%s";
// The prefix of a relative path while no settings file is bound: the file
// with the empty name, which is never read or written.
const char kUnboundPrefix[] = "||%s";

const char* Text(const Str& s) { return s.data ? s.data : ""; }

bool IsFlag(char c) { return c == '!' || c == '@' || c == '+' || c == '=' || c == '?' || c == '`'; }

// The text up to the next '|' or the end.
const char* FieldEnd(const char* field) {
    const char* end = strchr(field, '|');
    return end ? end : field + strlen(field);
}

// True when format holds no conversion but %% and at most maxStrings %s:
// then it can be given maxStrings texts without reading past them.
bool IsTextFormat(const char* format, int maxStrings) {
    int strings = 0;
    for (const char* p = strchr(format, '%'); p; p = strchr(p + 2, '%')) {
        if (p[1] == 's')
            ++strings;
        else if (p[1] != '%')
            return false;
    }
    return strings <= maxStrings;
}

// A prefix that is not a format of at most one %s counts as none: formatting
// it would read arguments that were never passed.
const char* EffectivePrefix(const Str& prefix) {
    return prefix.data && prefix.data[0] && IsTextFormat(prefix.data, 1) ? prefix.data : kUnboundPrefix;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A text the profile functions give back unchanged: no blank or tab at
// either end, no matching pair of outer quotes.
bool ComesBackWhole(const char* text) {
    size_t length = strlen(text);
    if (length == 0) return true;
    char first = text[0], last = text[length - 1];
    if (IsBlank(first) || IsBlank(last)) return false;
    return !(length >= 2 && (first == '"' || first == '\'') && last == first);
}

// A section or key name the profile functions find again as it is: not
// empty, none of forbidden, no blank or tab at either end (they are dropped,
// so " K" would be the key K).
bool IsIniName(const char* name, const char* forbidden) {
    size_t length = strlen(name);
    return length > 0 && !strpbrk(name, forbidden) && !IsBlank(name[0]) && !IsBlank(name[length - 1]);
}

// What an INI file holds: the format has no escapes, so a line break in a
// value would start lines of its own (another key, another section), '=' in
// a key ends the key, a key beginning with ';' is a comment and one with '['
// a section header, and ']' ends a section's name. value may be null.
bool IniCanHold(const char* section, const char* key, const char* value) {
    return IsIniName(section, "]\r\n") && IsIniName(key, "=\r\n") && key[0] != ';' && key[0] != '[' &&
           !(value && strpbrk(value, "\r\n"));
}

bool HasHighCharacters(const char* text) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if (*p >= 160) return true;
    return false;
}

// Whether the process's ANSI code page holds text, so that the platform
// stores what it is given: under UTF-8 a byte that is no UTF-8 (a scrambled
// form's characters 128 to 159) would be stored as a replacement character,
// and a check-summed value would then fail its check sum on every read.
bool CodePageHolds(const char* text) {
    return text[0] == '\0' || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0) != 0;
}

// A write the store does not make: false, with the reason as the last error.
bool Refused(DWORD error) {
    SetLastError(error);
    return false;
}

// The language path when it is safe to format with three texts.
const char* LanguageFormat() {
    if (!LanguagePath.data || !LanguagePath.data[0] || !IsTextFormat(LanguagePath.data, 3)) return kOwnLocation;
    return LanguagePath.data;
}

}  // namespace

SettingPath::SettingPath() : valueKind(0), missingRule('+'), languageFlag(0), found(false), absent(false) {
    file.Release();
    section.Release();
    key.Release();
    defaultValue.Release();
}

namespace {

// Sets the record's flags from those at the start of text; returns what
// follows them.
const char* TakeFlags(SettingPath& record, const char* text) {
    const char* p = text;
    for (; IsFlag(*p); ++p) {
        if (*p == '!' || *p == '@')
            record.valueKind = *p;
        else if (*p == '`')
            record.languageFlag = *p;
        else
            record.missingRule = *p;
    }
    return p;
}

}  // namespace

Str ScanPathFlags(SettingPath& record, const char* field) {
    const char* p = TakeFlags(record, field);
    return Str(StrSlice(static_cast<unsigned>(FieldEnd(p) - p), p));
}

SettingPath ParseSettingPath(const char* path, const char* callerDefault) {
    SettingPath record;
    Str work;
    if (path[0] == '|') {
        work = path;
    } else {
        // The whole remainder, separators and all, is the prefix's argument.
        work = FormatStr(EffectivePrefix(PathPrefix), TakeFlags(record, path));
    }
    // Fields the text lacks stay empty; the default stays absent.
    record.file = Str();
    record.section = Str();
    record.key = Str();
    const char* bar = strchr(work.data, '|');
    if (bar) {
        const char* fileEnd = FieldEnd(bar + 1);
        record.file = Str(StrSlice(static_cast<unsigned>(fileEnd - bar - 1), bar + 1));
        if (*fileEnd == '|') {
            record.section = ScanPathFlags(record, fileEnd + 1);
            const char* sectionEnd = FieldEnd(fileEnd + 1);
            if (*sectionEnd == '|') {
                record.key = ScanPathFlags(record, sectionEnd + 1);
                const char* keyEnd = FieldEnd(sectionEnd + 1);
                if (!callerDefault && *keyEnd == '|') record.defaultValue = keyEnd + 1;
            }
        }
    }
    if (callerDefault) record.defaultValue = callerDefault;
    if (record.defaultValue.data && record.missingRule == '+') record.missingRule = '=';
    return record;
}

HKEY RegistryRootFor(const SettingPath& record) {
    static const struct {
        const char* name;
        HKEY root;
    } kRoots[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    const char* file = Text(record.file);
    if (strncmp(file, "HKEY_", 5) != 0) return nullptr;
    for (const auto& r : kRoots)
        if (strcmp(file, r.name) == 0) return r.root;
    return nullptr;
}

bool ReadIniKey(const SettingPath& record, char suffix, char* destination, unsigned capacity) {
    const char* file = Text(record.file);
    if (!file[0]) return false;
    Str name = suffix ? FormatStr("%s%c", Text(record.key), suffix) : Str(Text(record.key));
    char text[IniKeyCapacity];
    GetPrivateProfileStringA(Text(record.section), name.data, MissingKeySentinel, text, IniKeyCapacity, file);
    bool found = strcmp(text, MissingKeySentinel) != 0;
    // A stored text equal to the sentinel reads the same with another default.
    if (!found) {
        GetPrivateProfileStringA(Text(record.section), name.data, "", text, IniKeyCapacity, file);
        found = text[0] != '\0';
    }
    if (found && capacity > 0) {
        size_t length = strlen(text);
        if (length >= capacity) length = capacity - 1;
        memcpy(destination, text, length);
        destination[length] = '\0';
    }
    return found;
}

RawRead ReadRawValue(const SettingPath& record, char* buffer) {
    if (HKEY root = RegistryRootFor(record)) {
        HKEY key;
        LONG status = RegOpenKeyA(root, Text(record.section), &key);
        if (status == ERROR_SUCCESS) {
            DWORD type = REG_NONE;
            DWORD size = IniKeyCapacity;
            status = RegQueryValueExA(key, Text(record.key), nullptr, &type, reinterpret_cast<BYTE*>(buffer + 1), &size);
            RegCloseKey(key);
            // The cleared byte behind the 1024 terminates whatever came.
            if (status == ERROR_SUCCESS) return type == REG_SZ ? RawRead::Found : RawRead::Unreadable;
        }
        // Only what the system says is not there is absent: a value too long
        // for the read (ERROR_MORE_DATA), or under a key the system would not
        // open, is kept.
        return status == ERROR_FILE_NOT_FOUND ? RawRead::Absent : RawRead::Unreadable;
    }
    if (!IniCanHold(Text(record.section), Text(record.key), nullptr)) return RawRead::Unreadable;
    // The sentinel read of ReadIniKey tells an absent key from a present one,
    // empty or longer than the read: only an absent key gives the default back.
    // (A listing of the section's keys, a null key, would tell it too, at the
    // cost of every name in the section.)
    char* text = buffer + 1;
    if (ReadIniKey(record, 0, text)) return RawRead::Found;
    if (!ReadIniKey(record, kSuffixes[0], text)) return RawRead::Absent;
    char* const limit = buffer + ReadBufferSize;
    char* end = text + strlen(text);
    // Each piece goes behind the terminator, which becomes a line feed once
    // the piece is found; the last piece is cut to the room left.
    for (const char* suffix = kSuffixes + 1; *suffix && limit - end > 2; ++suffix) {
        if (!ReadIniKey(record, *suffix, end + 1, static_cast<unsigned>(limit - end - 1))) continue;
        *end = '\n';
        end += 1 + strlen(end + 1);
    }
    return RawRead::Found;
}

Str VerifyChecksumValue(const char* text) {
    unsigned sum;
    const char* rest = strlen(text) >= 8 ? text + 8 : "";
    if (sscanf(text, "%8x", &sum) != 1) {
        AssertFailed(kSourcePath, kChecksumUnreadableLine);
        return Str(rest);
    }
    if (Crc32Update(rest, strlen(rest), 0xFFFFFFFFu) != sum) AssertFailed(kSourcePath, kChecksumMismatchLine);
    return Str(rest);
}

Str ReadSettingRecord(SettingPath& record) {
    char buffer[ReadBufferSize];
    memset(buffer, 0, sizeof buffer);
    RawRead read = RawRead::Absent;
    if (record.languageFlag) {
        Str location = FormatStr(LanguageFormat(), Text(record.file), Text(record.section), Text(record.key));
        SettingPath language = ParseSettingPath(location.data, nullptr);
        read = ReadRawValue(language, buffer);
        if (read != RawRead::Found) {
            memset(buffer, 0, sizeof buffer);
            read = ReadRawValue(record, buffer);
        }
    } else {
        read = ReadRawValue(record, buffer);
    }
    record.found = read == RawRead::Found;
    record.absent = read == RawRead::Absent;
    if (record.found) {
        const char* raw = buffer + 1;
        if (record.valueKind == '!') return VerifyChecksumValue(raw);
        if (record.valueKind == '@') return UnscrambleText(VerifyChecksumValue(raw));
        return Str(raw);
    }
    if (record.missingRule == '+') return FormatStr(kNotFound, Text(record.file), Text(record.section), Text(record.key));
    if (record.missingRule == '=' && record.absent) WriteSettingRecord(record);
    return Str(Text(record.defaultValue));
}

Str ReadSetting(const char* path) {
    SettingPath record = ParseSettingPath(path, nullptr);
    return ReadSettingRecord(record);
}

Str ReadSettingOr(const char* path, const Str& defaultValue) {
    SettingPath record = ParseSettingPath(path, defaultValue.data);
    return ReadSettingRecord(record);
}

int32_t ReadSettingNumber(const char* path, int32_t defaultNumber) {
    Str full = FormatStr("%s|%ld", path, static_cast<long>(defaultNumber));
    Str text = ReadSetting(full.data);
    // Clamped to 32 bits on every build, as a 32-bit long converts.
    long long number = strtoll(text.data, nullptr, 10);
    if (number > INT32_MAX) return INT32_MAX;
    if (number < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(number);
}

bool ReadSettingBytes(const char* path, unsigned char* bytes, int count, bool* repairFailed) {
    SettingPath record = ParseSettingPath(path, "");
    bool repair = record.missingRule == '=';
    record.missingRule = '?';  // the repair stores the array, not the empty text
    Str text = ReadSettingRecord(record);
    if (ParseSettingBytes(text.data, bytes, count)) return true;
    if (repair && record.absent && !WriteSettingBytes(path, bytes, count) && repairFailed) *repairFailed = true;
    return false;
}

Str ChecksumValue(const char* text) {
    char sum[9];
    snprintf(sum, sizeof sum, "%08X", static_cast<unsigned>(Crc32Update(text, strlen(text), 0xFFFFFFFFu)));
    return Concat(sum, text);
}

bool WriteSettingRecord(const SettingPath& record) {
    HKEY root = RegistryRootFor(record);
    const char* file = Text(record.file);
    if (!root && !file[0]) return Refused(ERROR_FILE_NOT_FOUND);
    if (!root && !IniCanHold(Text(record.section), Text(record.key), record.defaultValue.data))
        return Refused(ERROR_INVALID_PARAMETER);
    if (!record.defaultValue.data) {
        if (root || record.valueKind) return Refused(ERROR_INVALID_PARAMETER);
        return WritePrivateProfileStringA(Text(record.section), Text(record.key), nullptr, file) != FALSE;
    }
    const char* value = record.defaultValue.data;
    Str text;
    if (record.valueKind == '!') {
        text = ChecksumValue(value);
    } else if (record.valueKind == '@') {
        if (HasHighCharacters(value)) return Refused(ERROR_INVALID_PARAMETER);
        text = ChecksumValue(ScrambleText(record.defaultValue).data);
    } else {
        text = value;
    }
    // A read takes IniKeyCapacity - 1 characters, one less of a quoted INI
    // value (the profile functions cut its closing quote and then drop one
    // more character): a longer check-summed text would fail its check sum on
    // every read.
    if (!CodePageHolds(text.data) || !CodePageHolds(Text(record.section)) || !CodePageHolds(Text(record.key)))
        return Refused(ERROR_NO_UNICODE_TRANSLATION);
    bool quoted = !root && !ComesBackWhole(text.data);
    if (record.valueKind && text.Length() + (quoted ? 1 : 0) >= IniKeyCapacity) return Refused(ERROR_INVALID_PARAMETER);
    if (root) {
        HKEY key;
        LONG status = RegOpenKeyExA(root, Text(record.section), 0, KEY_ALL_ACCESS, &key);
        if (status != ERROR_SUCCESS) return Refused(static_cast<DWORD>(status));
        status = RegSetValueExA(key, Text(record.key), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data),
                                text.Length() + 1);
        RegCloseKey(key);
        return status == ERROR_SUCCESS || Refused(static_cast<DWORD>(status));
    }
    // The profile functions drop blanks at both ends and one pair of outer
    // quotes; in quotes of its own the text comes back as it was.
    if (quoted) {
        StrBuilder inQuotes(text.Length() + 2);
        inQuotes.Append("\"");
        inQuotes.Append(text.data);
        inQuotes.Append("\"");
        text = inQuotes.storage;
    }
    return WritePrivateProfileStringA(Text(record.section), Text(record.key), text.data, file) != FALSE;
}

bool WriteSetting(const char* path, const char* value) {
    SettingPath record = ParseSettingPath(path, value);
    return WriteSettingRecord(record);
}

bool WriteSettingDefault(const char* path) {
    SettingPath record = ParseSettingPath(path, nullptr);
    return WriteSettingRecord(record);
}

bool WriteSettingFormatV(const char* path, const char* format, va_list arguments) {
    Str text = FormatStrV(format, arguments);
    return WriteSetting(path, text.data);
}

bool WriteSettingFormat(const char* path, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    bool stored = WriteSettingFormatV(path, format, arguments);
    va_end(arguments);
    return stored;
}

bool WriteSettingNumber(const char* path, int32_t number) {
    return WriteSettingFormat(path, "%ld", static_cast<long>(number));
}

int32_t IncrementSettingNumber(const char* path, int32_t defaultNumber) {
    int32_t number = static_cast<int32_t>(static_cast<uint32_t>(ReadSettingNumber(path, defaultNumber)) + 1u);
    WriteSettingNumber(path, number);
    return number;
}

bool WriteSettingBytes(const char* path, const unsigned char* bytes, int count) {
    Str text = SettingBytesText(bytes, count);
    if (!text.data[0]) return Refused(ERROR_INVALID_PARAMETER);
    SettingPath record = ParseSettingPath(path, nullptr);
    record.defaultValue = std::move(text);
    return WriteSettingRecord(record);
}

void BindSettingsFile(const char* fileName, bool check, bool skipLanguage) {
    // The prefix is a format: a '%' of the name must stay a character.
    Str name(fileName);
    name.ReplaceAll("%", "%%");
    PathPrefix = FormatStr("|%s|%%s", name.data);
    if (check) {
        SettingPath record = ParseSettingPath(kLanguageSetting, nullptr);
        record.missingRule = '?';  // the check writes nothing
        ReadSettingRecord(record);
        if (!record.found) {
            Str current = CurrentFolder();
            Str program = ModifyPath(ModuleFileName().data, "|.|");
            Str user = UserDataFolder();
            Str windows = WindowsFolder();
            char folders[4096];
            snprintf(folders, sizeof folders, "%s; %s; %s; %s", current.data, program.data, user.data, windows.data);
            RaiseError(SettingsFileNotFound, folders);
            return;
        }
    }
    if (!skipLanguage) {
        Str language = ReadSetting(kLanguageSetting);
        SetLanguagePath(language.data);
    }
}

void UnbindSettingsFile() {
    PathPrefix = "";
    LanguagePath = "";
}

void SetLanguagePath(const char* path) {
    LanguagePath = path;
    Str stored = ReadSetting(kLanguageSetting);
    if (strcmp(stored.data, LanguagePath.data) != 0) WriteSetting(kLanguageSetting, LanguagePath.data);
}

Str GetLanguagePath() { return Str(Text(LanguagePath)); }

ScopedSettingPrefix::ScopedSettingPrefix(const char* text) : saved(Text(PathPrefix)) {
    if (text[0] == '|') {
        PathPrefix = text;
        return;
    }
    // Nested by putting text in place of the prefix's %s, rather than by
    // formatting: a doubled '%' of the file name stays doubled.
    const char* prefix = EffectivePrefix(saved);
    for (const char* p = strchr(prefix, '%'); p && p[1]; p = strchr(p + 2, '%')) {
        if (p[1] != 's') continue;
        StrBuilder nested;
        nested.Append(prefix, static_cast<unsigned>(p - prefix));
        nested.Append(text);
        nested.Append(p + 2);
        PathPrefix = nested.storage;
        return;
    }
}

ScopedSettingPrefix::~ScopedSettingPrefix() { PathPrefix = saved; }
