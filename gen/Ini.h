// The configuration store: settings in INI files and the registry, each
// addressed by one setting path.
//
//   |file|section|key[|default]   a full path; file may name a registry root
//   section|key[|default]         relative to the bound settings file
//
// with flag characters at the start of a relative path, of the section and
// of the key: '!' check-summed, '@' scrambled and check-summed (valueKind);
// '+' a miss reads as a "not found" text, '=' a miss reads the default and
// writes it where nothing at all is stored, '?' a miss reads the default
// (missingRule); '`' look up through the language path first. A default
// turns '+' into '='. A read never writes over a stored value, even one it
// cannot take.
//
// Reads return new Str values owned by the caller. A write returns true when
// the platform stored it; otherwise false, with the system's reason as the
// last error (ERROR_INVALID_PARAMETER for what the store itself refuses). A
// read counts a platform failure as missing; only a broken check sum raises,
// an assertion failure of this module (line 84: no check sum, line 86: wrong
// check sum).
//
// Limits: one INI key (and one registry value) reads at most 1023
// characters; a value joined from continuation keys (Key1 ... Key9, KeyA ...
// KeyZ) at most 2046. A plain text longer than that is still stored whole.
//
// Refused (a write stores nothing and returns false, a read answers as for a
// miss and writes nothing):
// - in an INI file, what the format cannot hold: a value with CR or LF; a
//   key that is empty, holds '=', CR or LF, or begins with ';' or '['; a
//   section that is empty or holds ']', CR or LF; a key or section with a
//   blank or tab at either end. The registry holds all of these.
// - a '!' or '@' text whose stored form (check sum included) is longer than
//   a read takes (1023 characters; 1022 of one an INI file holds in quotes):
//   it could never be read back.
// - a value, section or key that the process's ANSI code page cannot hold
//   (ERROR_NO_UNICODE_TRANSLATION): under UTF-8 a byte that is no UTF-8, as
//   a scrambled form of plain ASCII may hold, would be stored as a
//   replacement character.
//
// Choices where the format leaves room:
// - A work text with fewer than three '|' leaves the missing fields empty
//   (|f|s has the empty key); nothing past its end is read.
// - While no settings file is bound (the prefix empty), a relative path
//   names the file with the empty name: section, key, default and rule are
//   parsed as usual, a read gives the rule's result (the "not found" text or
//   the default) and nothing is ever stored in a file without a name. So
//   does a prefix holding conversions other than one %s and %% (such as one
//   set through ScopedSettingPrefix), which is never used as a format.
// - While no language path is set, and whenever the stored one holds a
//   conversion other than %s (at most three) and %%, language lookups use
//   "|%s|%s|%s", the setting's own location. The stored text stays as it is.
// - The language path is filled with file, section and key in that order:
//   "|%s.fr|%s|%s" looks in the sibling file Korvel.INI.fr under the same
//   section and key, while "|other.ini|%s|%s|%s" would take the setting's
//   file name as its section.
// - Continuation pieces that do not fit the read buffer are cut to the room
//   left, and joining stops when the buffer is full.
// - A record without a value (WriteSettingDefault of a path without a
//   default part) removes a plain INI key; to the registry, or under '!' or
//   '@', it stores nothing (false).
// - Under '@' a text holding a character of 160 or above stores nothing
//   (false): its scrambled form might not read back as written.
// - A relative path while no settings file is bound stores nothing (false,
//   ERROR_FILE_NOT_FOUND).
// - A text that the profile functions would not give back whole (a blank or
//   tab at either end, or one matching pair of outer quotes) is written to an
//   INI file inside one pair of double quotes, which every reader removes.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>

#include "gen/Str.h"

// The parsed form of a setting path, for one read or write. Absent texts have
// null data: an absent default differs from the empty one.
struct SettingPath {
    char valueKind;     // 0, '!' or '@'
    char missingRule;   // '+', '=' or '?'
    char languageFlag;  // 0 or '`'
    Str file;           // INI file name, or a registry root's name
    Str section;        // INI section, or registry subkey
    Str key;            // INI key, or registry value name
    Str defaultValue;
    bool found;         // set by a read
    bool absent;        // set by a read: nothing at all is stored at the own location

    SettingPath();
    SettingPath(SettingPath&&) = default;
    SettingPath(const SettingPath&) = delete;
    SettingPath& operator=(const SettingPath&) = delete;
};

// callerDefault (may be null) replaces any default part of the path.
SettingPath ParseSettingPath(const char* path, const char* callerDefault);
// field without its leading flag characters; sets the record's flags.
Str ScanPathFlags(SettingPath& record, const char* field);

// Reads.
const unsigned ReadBufferSize = 2048;
const unsigned IniKeyCapacity = 1024;
extern const char MissingKeySentinel[];  // ")(@*#_$)*R&"

Str ReadSetting(const char* path);
Str ReadSettingOr(const char* path, const Str& defaultValue);
// path has no default part; a miss stores the default under '='.
int32_t ReadSettingNumber(const char* path, int32_t defaultNumber);
// Fills bytes[0, count) from a byte-array value; false when the stored text
// is not one of count bytes. Under '=' a missing value is then stored as
// bytes (when that fails, *repairFailed is set, if given); a stored value
// stays as it is.
bool ReadSettingBytes(const char* path, unsigned char* bytes, int count, bool* repairFailed = nullptr);
// The byte-array form: four or more hexadecimal digits of the count, then
// " %02X" a byte. Parsing stores each byte as it is read, so a rejected text
// may leave some bytes changed. A negative count is never accepted, and
// neither written (SettingBytesText is then empty, WriteSettingBytes stores
// nothing).
bool ParseSettingBytes(const char* text, unsigned char* bytes, int count);
Str SettingBytesText(const unsigned char* bytes, int count);
Str ReadSettingRecord(SettingPath& record);
// What a read finds: a value, nothing at all, or a value it cannot take (a
// registry value longer than a read or not a string, a key refused by the
// system, an INI name the format cannot hold).
enum class RawRead { Found, Absent, Unreadable };
// The raw text at buffer + 1 (buffer: ReadBufferSize bytes, cleared).
RawRead ReadRawValue(const SettingPath& record, char* buffer);
// The key, or the key followed by suffix (0: none), at destination, cut to
// capacity bytes with its terminator.
bool ReadIniKey(const SettingPath& record, char suffix, char* destination, unsigned capacity = IniKeyCapacity);
// The predefined key the file field names, or null for an INI file.
HKEY RegistryRootFor(const SettingPath& record);
// The text behind a '!' value's eight-digit check sum; raises when broken.
Str VerifyChecksumValue(const char* text);
Str UnscrambleText(const Str& text);
// The reflected CRC-32 (0xEDB88320) from crc, without final inversion.
uint32_t Crc32Update(const void* data, size_t length, uint32_t crc);

// Writes: true when stored.
bool WriteSetting(const char* path, const char* value);
bool WriteSettingDefault(const char* path);
bool WriteSettingFormat(const char* path, const char* format, ...);
bool WriteSettingFormatV(const char* path, const char* format, va_list arguments);
bool WriteSettingNumber(const char* path, int32_t number);
// Reads the number (storing the default first when missing), adds one,
// stores and returns it.
int32_t IncrementSettingNumber(const char* path, int32_t defaultNumber);
bool WriteSettingBytes(const char* path, const unsigned char* bytes, int count);
bool WriteSettingRecord(const SettingPath& record);
// The text with its check sum in front: eight upper-case hexadecimal digits.
Str ChecksumValue(const char* text);
Str ScrambleText(const Str& text);

// Binding and language. PathPrefix turns a relative path into a full one
// ("|<file>|%s" after binding, the file name's '%' doubled); LanguagePath has
// three %s for file, section and key. Both are empty while unbound.
extern Str PathPrefix;
extern Str LanguagePath;
extern const char SettingsFileNotFound[];  // "File Korvel.INI not found in: %s"

// With check set, raises SettingsFileNotFound (the prefix stays set) when
// Options/Language cannot be read; the file is not changed by the check.
void BindSettingsFile(const char* fileName, bool check, bool skipLanguage);
void UnbindSettingsFile();
// Sets LanguagePath and stores it under Options/Language when it differs.
void SetLanguagePath(const char* path);
Str GetLanguagePath();

// Replaces PathPrefix while it lives: text beginning with '|' is the new
// prefix; other text (such as "Section|%s") is nested into the current one.
class ScopedSettingPrefix {
public:
    explicit ScopedSettingPrefix(const char* text);
    ~ScopedSettingPrefix();
    ScopedSettingPrefix(const ScopedSettingPrefix&) = delete;
    ScopedSettingPrefix& operator=(const ScopedSettingPrefix&) = delete;

private:
    Str saved;
};

// The hex XOR codec. Encode writes at most capacity digits, decode at most
// capacity bytes, then a terminating zero (the buffer holds capacity + 1
// bytes); both return the address of that zero. A capacity of 0 or less
// writes only the zero. A pair that is not hexadecimal decodes as far as
// its leading hexadecimal digit goes ("4z" as 4, "zz" as 0).
char* HexXorEncode(const char* text, char* output, int capacity);
char* HexXorDecode(const char* hex, char* output, int capacity);
