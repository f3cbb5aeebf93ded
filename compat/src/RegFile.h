// The registry as a tree of keys, read from and written to a .reg file in the
// REGEDIT4 format, so that one fixture can be imported by regedit as well.
// Paths are full key paths in the file's notation, starting with the root's
// name: "HKEY_CURRENT_USER\Software\X". Names compare without regard to ASCII
// case and keep the spelling they were first given.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

struct RegValue {
    std::string name;  // "" is the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// A section of the file. Keys between a root and a section exist without a
// section of their own, as regedit creates them on import.
struct RegKey {
    std::string path;
    std::vector<RegValue> values;
};

// What the index knows of a key that exists: places in keys.
struct RegIndexed {
    size_t section;  // its own section; npos when it has none
    size_t first;    // the first section at or below it
};

// keys change through the functions below alone, which keep the index.
struct RegTree {
    std::vector<RegKey> keys;                          // in file order
    std::unordered_map<std::string, RegIndexed> index;  // by lower-cased path
};

// The root's name in the file ("HKEY_CURRENT_USER"); null for other handles.
const char* RegRootName(HKEY root);

bool RegSameName(const std::string& a, const std::string& b);

// True for a root and for every key that is a section or lies above one.
bool RegKeyExists(const RegTree& tree, const std::string& path);

// path as the tree spells the parts of it that exist.
std::string RegSpelled(const RegTree& tree, const std::string& path);

// The section of path; null when the key has none (it may still exist).
RegKey* RegFindKey(RegTree& tree, const std::string& path);
const RegKey* RegFindKey(const RegTree& tree, const std::string& path);

// The section of path, made (with the tree's spelling) when missing.
RegKey& RegMakeKey(RegTree& tree, const std::string& path);

RegValue* RegFindValue(RegKey& key, const std::string& name);
const RegValue* RegFindValue(const RegKey& key, const std::string& name);

// Removes path and everything below it; its parent keeps existing.
void RegDeleteKey(RegTree& tree, const std::string& path);

// Removes the values and subkeys of path, keeping the key itself.
void RegClearKey(RegTree& tree, const std::string& path);

// Applies the text of a .reg file to tree, as regedit imports it, in time
// linear in the text (deleting a key costs a pass over the tree). False when
// the text is not a REGEDIT4 file.
bool RegParseFile(const std::string& text, RegTree& tree);

// The tree as a REGEDIT4 file, CRLF line ends as regedit writes them.
std::string RegFormatFile(const RegTree& tree);
