// The text of a profile (INI) file as the profile functions see it: the text
// itself, kept byte for byte, plus an index of the sections and keys it
// defines. Changes rewrite only the lines they touch. The index holds a few
// numbers per section and key and nothing per other line, so a parsed file
// costs little more than its text.
//
// Reading rules, as Windows and Wine read: a line ends at CR LF, CR or LF; it
// is a section header when its first non-blank character is '[' (name up to
// ']'), a comment when it is ';', and a key when it holds '=' (split at the
// first one); other lines are kept and mean nothing. Blanks and tabs around
// names and values are dropped, then one matching pair of outer quotes (" or
// ') around a value. Names match without regard to ASCII case; of duplicate
// sections only the first is searched, of duplicate keys the first wins.
// Keys before the first section belong to the section with the empty name.
// A UTF-8 byte-order mark at the start is no part of the first line, and
// stays where it is when the text is changed. A text of 4 GiB or more is
// kept but reads as holding nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct IniSection {
    uint32_t start;  // offset of the header line; for the nameless section, of the text after any byte-order mark
    uint32_t end;    // offset after the section's last line
    bool named;      // false for the keys before the first header
};

struct IniFile {
    std::string text;
    std::vector<IniSection> sections;    // the first of each name, in file order
    std::vector<uint32_t> sectionSlots;  // hash table of sections: index + 1, 0 free
    std::vector<uint32_t> keySlots;      // of the keys that read: line offset + 1, 0 free
    size_t keyCount = 0;
};

IniFile ParseIni(std::string text);
inline const std::string& IniText(const IniFile& file) { return file.text; }

// The value of key in section (a view into the file's text); false when
// either is missing.
bool IniFind(const IniFile& file, const std::string& section, const std::string& key, std::string_view& value);

// Every key that reads, as (section, key, value), in file order.
struct IniEntry {
    std::string section, key, value;
};
std::vector<IniEntry> IniEntries(const IniFile& file);

// WritePrivateProfileString's change: value null removes the key, key null
// the section (header and all its lines); otherwise the key's line is
// replaced, or a new line is put after the section's last non-blank line, or
// a new section with the key is added at the end. Names are written as
// given; an existing line keeps its name's spelling. Returns whether the
// text changed; the index is rebuilt.
bool IniWrite(IniFile& file, const std::string& section, const char* key, const char* value);
