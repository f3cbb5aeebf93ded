// The text of a profile (INI) file as the profile functions see it: every
// line kept byte for byte with its own line end, plus an index of the
// sections and keys it defines. Changes rewrite only the lines they touch.
//
// Reading rules, as Windows and Wine read: a line is a section header when
// its first non-blank character is '[' (name up to ']'), a comment when it is
// ';', and a key when it holds '=' (split at the first one); other lines are
// kept and mean nothing. Blanks and tabs around names and values are dropped,
// then one matching pair of outer quotes (" or ') around a value. Names
// match without regard to ASCII case; of duplicate sections only the first
// is searched, of duplicate keys the first wins. Keys before the first
// section belong to the section with the empty name. A UTF-8 byte-order mark
// at the start is no part of the first line, and is kept for writing.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

struct IniLine {
    std::string raw;  // the line as in the file, line end included
    enum Kind { Other, Section, Key } kind = Other;
    std::string name;   // section or key name, trimmed
    std::string value;  // a key's value, trimmed and unquoted
};

struct IniSection {
    size_t header;  // index of the header line; lines.size() for the nameless one
    size_t end;     // index after the section's last line
    std::unordered_map<std::string, size_t> keys;  // lower-cased name -> first line
};

struct IniFile {
    bool byteOrderMark = false;  // the text starts with one
    std::vector<IniLine> lines;
    std::unordered_map<std::string, IniSection> sections;  // lower-cased name -> first
};

IniFile ParseIni(const std::string& text);
std::string IniText(const IniFile& file);

// The value of key in section; null when either is missing.
const std::string* IniFind(const IniFile& file, const std::string& section, const std::string& key);

// WritePrivateProfileString's change: value null removes the key, key null
// the section (header and all its lines); otherwise the key's line is
// replaced, or a new line is put after the section's last non-blank line, or
// a new section with the key is added at the end. Names are written as
// given; an existing line keeps its name's spelling. Returns whether the
// text changed; the index is rebuilt.
bool IniWrite(IniFile& file, const std::string& section, const char* key, const char* value);
