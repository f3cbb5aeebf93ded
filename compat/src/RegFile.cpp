// The REGEDIT4 format: a "REGEDIT4" line, then [full key path] sections of
// "name"=data lines. Data is "text" (escapes \\ and \"), dword:0000002a,
// hex:01,02 (REG_BINARY) or hex(N):... (type N, hexadecimal), and long hex
// lists continue on the next line after a trailing backslash. [-path] and
// "name"=- delete on import; lines starting with ';' are comments.
#include "RegFile.h"

#include "Files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace {

struct Root {
    HKEY key;
    const char* name;
};

const Root roots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},   {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"}, {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
};

bool SamePrefix(const std::string& text, size_t length, const std::string& prefix) {
    if (length != prefix.size() || text.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    }
    return true;
}

// True when path is top or a key below it.
bool IsWithin(const std::string& path, const std::string& top) {
    return SamePrefix(path, top.size(), top) && (path.size() == top.size() || path[top.size()] == '\\');
}

bool IsRoot(const std::string& path) { return path.find('\\') == std::string::npos; }

std::string ParentOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimLeft(const std::string& text) {
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    return text.substr(start);
}

std::string TrimRight(std::string text) {
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A hexadecimal number of 1 to maxDigits digits making up all of text.
bool ParseHexNumber(const std::string& text, size_t maxDigits, DWORD& value) {
    if (text.empty() || text.size() > maxDigits) return false;
    value = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) return false;
        value = value * 16 + static_cast<DWORD>(digit);
    }
    return true;
}

// A "quoted" text starting at line[start]; end is set past the closing quote.
// \n and \r are understood as regedit understands them; any other escaped
// character stands for itself.
bool ReadQuoted(const std::string& line, size_t start, std::string& text, size_t& end) {
    text.clear();
    for (size_t i = start + 1; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            end = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < line.size()) {
            c = line[++i];
            if (c == 'n') c = '\n';
            if (c == 'r') c = '\r';
        }
        text += c;
    }
    return false;
}

// "01,2a , ff" into bytes; an empty list is no bytes.
bool ParseHexBytes(const std::string& list, std::vector<BYTE>& bytes) {
    bytes.clear();
    if (TrimRight(TrimLeft(list)).empty()) return true;
    size_t start = 0;
    while (true) {
        size_t comma = list.find(',', start);
        std::string item = TrimRight(TrimLeft(list.substr(start, comma - start)));
        DWORD byte = 0;
        bool last = comma == std::string::npos;
        // regedit tolerates the comma that ends a list.
        if (!(last && item.empty() && start > 0)) {
            if (!ParseHexNumber(item, 2, byte)) return false;
            bytes.push_back(static_cast<BYTE>(byte));
        }
        if (last) return true;
        start = comma + 1;
    }
}

// The data after '='; remove is set for "-".
bool ParseData(const std::string& text, RegValue& value, bool& remove) {
    remove = false;
    if (text == "-") {
        remove = true;
        return true;
    }
    if (!text.empty() && text[0] == '"') {
        std::string string;
        size_t end = 0;
        if (!ReadQuoted(text, 0, string, end) || !TrimLeft(text.substr(end)).empty()) return false;
        value.type = REG_SZ;
        value.data.assign(string.begin(), string.end());
        value.data.push_back(0);
        return true;
    }
    if (text.compare(0, 6, "dword:") == 0) {
        DWORD number = 0;
        if (!ParseHexNumber(text.substr(6), 8, number)) return false;
        value.type = REG_DWORD;
        value.data.resize(4);
        for (int i = 0; i < 4; ++i) value.data[i] = static_cast<BYTE>(number >> (8 * i));
        return true;
    }
    size_t listStart = 0;
    if (text.compare(0, 4, "hex:") == 0) {
        value.type = REG_BINARY;
        listStart = 4;
    } else if (text.compare(0, 4, "hex(") == 0) {
        size_t close = text.find("):", 4);
        if (close == std::string::npos || !ParseHexNumber(text.substr(4, close - 4), 8, value.type)) {
            return false;
        }
        listStart = close + 2;
    } else {
        return false;
    }
    return ParseHexBytes(text.substr(listStart), value.data);
}

// "[HKEY_CURRENT_USER\a\\b\]" text (without brackets) as "HKEY_CURRENT_USER\a\b".
bool ParseKeyPath(const std::string& text, std::string& path) {
    size_t slash = text.find('\\');
    std::string rootName = text.substr(0, slash);
    const Root* root = std::find_if(std::begin(roots), std::end(roots), [&](const Root& r) {
        return RegSameName(rootName, r.name);
    });
    if (root == std::end(roots)) return false;
    path = root->name;
    while (slash != std::string::npos) {
        size_t next = text.find('\\', slash + 1);
        std::string part = text.substr(slash + 1, next - slash - 1);
        if (!part.empty()) path += "\\" + part;
        slash = next;
    }
    return true;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n' || c == '\r') {
            out += c == '\n' ? "\\n" : "\\r";
            continue;
        }
        out += c;
    }
    return out;
}

// A REG_SZ that "text" restores exactly: one NUL at its end and no line breaks.
bool IsPlainText(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) return false;
    return std::none_of(data.begin(), data.end() - 1, [](BYTE b) { return b == 0 || b == '\n' || b == '\r'; });
}

void AppendValue(std::string& out, const RegValue& value) {
    std::string line = value.name.empty() ? "@=" : "\"" + Escaped(value.name) + "\"=";
    if (value.type == REG_SZ && IsPlainText(value.data)) {
        out += line + "\"" + Escaped(std::string(value.data.begin(), value.data.end() - 1)) + "\"\r\n";
        return;
    }
    char prefix[32];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                       (static_cast<DWORD>(value.data[3]) << 24);
        snprintf(prefix, sizeof prefix, "dword:%08x", static_cast<unsigned>(number));
        out += line + prefix + "\r\n";
        return;
    }
    if (value.type == REG_BINARY) {
        snprintf(prefix, sizeof prefix, "hex:");
    } else {
        snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    }
    line += prefix;
    // Lines wrap near 80 columns, as regedit writes them.
    for (size_t i = 0; i < value.data.size(); ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, "%02x", value.data[i]);
        line += byte;
        if (i + 1 == value.data.size()) break;
        line += ',';
        if (line.size() > 75) {
            out += line + "\\\r\n";
            line = "  ";
        }
    }
    out += line + "\r\n";
}

// Indexes keys[at], added after every key indexed so far: an existing
// entry names an earlier section and stays, and so do those of the paths
// above it.
void IndexKey(RegTree& tree, size_t at) {
    std::string lower = LowerAscii(tree.keys[at].path);
    auto own = tree.index.emplace(lower, RegIndexed{at, at});
    if (!own.second) {
        own.first->second.section = at;  // it existed through a subkey
        return;
    }
    std::string parent;
    for (size_t end = lower.rfind('\\'); lower.find('\\') < end; end = lower.rfind('\\', end - 1)) {
        parent.assign(lower, 0, end);
        if (tree.index.count(parent) > 0) break;
        tree.index.emplace(parent, RegIndexed{std::string::npos, at});
    }
}

void Reindex(RegTree& tree) {
    tree.index.clear();
    for (size_t at = 0; at < tree.keys.size(); ++at) IndexKey(tree, at);
}

}  // namespace

const char* RegRootName(HKEY root) {
    for (const Root& r : roots) {
        if (r.key == root) return r.name;
    }
    return nullptr;
}

bool RegSameName(const std::string& a, const std::string& b) { return SamePrefix(a, a.size(), b); }

bool RegKeyExists(const RegTree& tree, const std::string& path) {
    return IsRoot(path) || tree.index.count(LowerAscii(path)) > 0;
}

// The longest part of path that exists is spelled as its first section
// spells it; the rest as given.
std::string RegSpelled(const RegTree& tree, const std::string& path) {
    std::string lower = LowerAscii(path), part;
    for (size_t end = lower.size(); lower.find('\\') < end; end = lower.rfind('\\', end - 1)) {
        part.assign(lower, 0, end);
        auto found = tree.index.find(part);
        if (found != tree.index.end()) return tree.keys[found->second.first].path.substr(0, end) + path.substr(end);
    }
    return path;
}

const RegKey* RegFindKey(const RegTree& tree, const std::string& path) {
    auto found = tree.index.find(LowerAscii(path));
    if (found == tree.index.end() || found->second.section == std::string::npos) return nullptr;
    return &tree.keys[found->second.section];
}

RegKey* RegFindKey(RegTree& tree, const std::string& path) {
    return const_cast<RegKey*>(RegFindKey(static_cast<const RegTree&>(tree), path));
}

RegKey& RegMakeKey(RegTree& tree, const std::string& path) {
    if (RegKey* key = RegFindKey(tree, path)) return *key;
    tree.keys.push_back(RegKey{RegSpelled(tree, path), {}});
    IndexKey(tree, tree.keys.size() - 1);
    return tree.keys.back();
}

const RegValue* RegFindValue(const RegKey& key, const std::string& name) {
    auto found = std::find_if(key.values.begin(), key.values.end(),
                              [&](const RegValue& value) { return RegSameName(value.name, name); });
    return found == key.values.end() ? nullptr : &*found;
}

RegValue* RegFindValue(RegKey& key, const std::string& name) {
    return const_cast<RegValue*>(RegFindValue(static_cast<const RegKey&>(key), name));
}

void RegDeleteKey(RegTree& tree, const std::string& path) {
    if (IsRoot(path) || !RegKeyExists(tree, path)) return;
    std::string parent = RegSpelled(tree, ParentOf(path));
    tree.keys.erase(std::remove_if(tree.keys.begin(), tree.keys.end(),
                                   [&](const RegKey& key) { return IsWithin(key.path, path); }),
                    tree.keys.end());
    Reindex(tree);
    // The parent may have existed only because of the deleted key's section.
    if (!RegKeyExists(tree, parent)) RegMakeKey(tree, parent);
}

void RegClearKey(RegTree& tree, const std::string& path) {
    if (!RegKeyExists(tree, path)) return;
    std::string spelled = RegSpelled(tree, path);
    tree.keys.erase(std::remove_if(tree.keys.begin(), tree.keys.end(),
                                   [&](const RegKey& key) {
                                       return IsWithin(key.path, path) && key.path.size() > path.size();
                                   }),
                    tree.keys.end());
    Reindex(tree);
    if (RegKey* key = RegFindKey(tree, spelled)) {
        key->values.clear();
    } else if (!IsRoot(path)) {
        RegMakeKey(tree, spelled);  // it existed only through its subkeys
    }
}

bool RegParseFile(const std::string& text, RegTree& tree) {
    // One line at a time, its line end (LF or CR LF) dropped; the text holds
    // one line more than it holds line ends.
    size_t next = 0;
    auto readLine = [&](std::string& line) {
        if (next > text.size()) return false;
        size_t end = std::min(text.find('\n', next), text.size());
        line.assign(text, next, end - next);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        next = end + 1;
        return true;
    };
    std::string raw;
    readLine(raw);
    if (TrimRight(raw) != "REGEDIT4") return false;
    // Room for as many keys as there are section headers, so that neither
    // the keys nor the index move while they are read.
    size_t headers = 0;
    for (size_t at = text.find("\n["); at != std::string::npos; at = text.find("\n[", at + 2)) ++headers;
    tree.keys.reserve(tree.keys.size() + headers);
    tree.index.reserve(tree.index.size() + headers);
    // The key of the section being read; null outside a usable section. Its
    // value lines add no key and remove none, so the pointer holds until the
    // next section header.
    RegKey* section = nullptr;
    // The values of the section being read by lower-cased name, once it has
    // many, so that a key with many values is read in linear time.
    const size_t kIndexedValues = 16;
    std::string indexed;
    std::unordered_map<std::string, size_t> index;
    auto findValue = [&](RegKey& key, const std::string& name) -> RegValue* {
        if (key.values.size() < kIndexedValues) return RegFindValue(key, name);
        if (indexed != key.path || index.size() != key.values.size()) {
            index.clear();
            for (size_t v = 0; v < key.values.size(); ++v) index.emplace(LowerAscii(key.values[v].name), v);
            indexed = key.path;
        }
        auto found = index.find(LowerAscii(name));
        return found == index.end() ? nullptr : &key.values[found->second];
    };
    while (readLine(raw)) {
        // Trimmed in place; raw is read into again only once line is done with.
        std::string& line = raw;
        line.erase(0, line.find_first_not_of(" \t"));
        while (!line.empty() && IsBlank(line.back())) line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            section = nullptr;
            size_t close = line.rfind(']');
            bool remove = line.size() > 1 && line[1] == '-';
            std::string path;
            if (close == std::string::npos || !ParseKeyPath(line.substr(remove ? 2 : 1, close - (remove ? 2 : 1)), path)) {
                continue;
            }
            if (remove) {
                RegDeleteKey(tree, path);
            } else {
                section = &RegMakeKey(tree, path);
            }
            continue;
        }
        if (section == nullptr || (line[0] != '@' && line[0] != '"')) continue;
        std::string name;
        size_t pos = 1;
        if (line[0] == '"' && !ReadQuoted(line, 0, name, pos)) continue;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        std::string data = TrimLeft(line.substr(pos + 1));
        if (data.compare(0, 3, "hex") == 0) {
            // Continuation lines, which may be interleaved with comments.
            while (!data.empty() && data.back() == '\\' && readLine(raw)) {
                data.pop_back();
                std::string part = TrimRight(TrimLeft(raw));
                if (!part.empty() && part[0] == ';') part = "\\";  // skipped, still continuing
                data += part;
            }
        }
        RegValue value;
        bool remove = false;
        if (!ParseData(data, value, remove)) continue;
        RegKey& key = *section;
        bool mapped = key.values.size() >= kIndexedValues;
        RegValue* existing = findValue(key, name);
        if (remove) {
            if (existing) key.values.erase(key.values.begin() + (existing - key.values.data()));
            indexed.clear();
        } else if (existing) {
            existing->type = value.type;
            existing->data = value.data;
        } else {
            value.name = name;
            key.values.push_back(std::move(value));
            if (mapped) index.emplace(LowerAscii(name), key.values.size() - 1);
        }
    }
    return true;
}

std::string RegFormatFile(const RegTree& tree) {
    std::string out = "REGEDIT4\r\n\r\n";
    for (const RegKey& key : tree.keys) {
        out += "[" + key.path + "]\r\n";
        for (const RegValue& value : key.values) AppendValue(out, value);
        out += "\r\n";
    }
    return out;
}
