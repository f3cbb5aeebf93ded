#include "IniFile.h"

#include "Files.h"

#include <algorithm>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Where the lines start: after UTF-8's byte-order mark, which Windows and
// Wine skip and keep.
size_t BodyStart(const std::string& text) { return text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; }

// What one line means: offsets into the text.
struct Line {
    enum Kind { Other, Section, Key } kind = Other;
    size_t name = 0, nameEnd = 0;    // section or key name, trimmed
    size_t value = 0, valueEnd = 0;  // a key's value, trimmed and unquoted
};

// Offset after the line starting at begin, its line end included.
size_t LineEnd(const std::string& text, size_t begin) {
    size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) return text.size();
    return end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
}

// Offset where the content of text[begin, end) stops, before its line end.
size_t ContentEnd(const std::string& text, size_t begin, size_t end) {
    while (end > begin && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
    return end;
}

void Trim(const std::string& text, size_t& begin, size_t& end) {
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
}

Line Classify(const std::string& text, size_t begin, size_t lineEnd) {
    Line line;
    size_t end = ContentEnd(text, begin, lineEnd);
    size_t start = begin;
    while (start < end && IsBlank(text[start])) ++start;
    if (start == end || text[start] == ';') return line;
    if (text[start] == '[') {
        size_t close = text.find(']', start + 1);
        if (close == std::string::npos || close > end) close = end;
        line.kind = Line::Section;
        line.name = start + 1;
        line.nameEnd = close;
        Trim(text, line.name, line.nameEnd);
        return line;
    }
    size_t equals = text.find('=', start);
    if (equals == std::string::npos || equals >= end) return line;
    line.kind = Line::Key;
    line.name = start;
    line.nameEnd = equals;
    Trim(text, line.name, line.nameEnd);
    line.value = equals + 1;
    line.valueEnd = end;
    Trim(text, line.value, line.valueEnd);
    char quote = text[line.value];
    if (line.valueEnd - line.value >= 2 && (quote == '"' || quote == '\'') && text[line.valueEnd - 1] == quote) {
        ++line.value;
        --line.valueEnd;
    }
    return line;
}

Line ClassifyAt(const std::string& text, size_t begin) { return Classify(text, begin, LineEnd(text, begin)); }

uint64_t HashName(const char* name, size_t length, uint64_t seed) {
    uint64_t hash = 14695981039346656037ull ^ (seed * 0x9E3779B97F4A7C15ull);
    for (size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<unsigned char>(LowerAscii(name[i]))) * 1099511628211ull;
    return hash ^ (hash >> 29);
}

bool SameName(const std::string& text, size_t begin, size_t end, const std::string& name) {
    if (end - begin != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (LowerAscii(text[begin + i]) != LowerAscii(name[i])) return false;
    return true;
}

std::string SectionName(const IniFile& file, const IniSection& section) {
    if (!section.named) return std::string();
    Line header = ClassifyAt(file.text, section.start);
    return file.text.substr(header.name, header.nameEnd - header.name);
}

// The section holding the line at offset: sections are disjoint and in
// file order.
size_t SectionOf(const IniFile& file, size_t offset) {
    size_t low = 0, high = file.sections.size();
    while (high - low > 1) {
        size_t middle = (low + high) / 2;
        (file.sections[middle].start <= offset ? low : high) = middle;
    }
    return low;
}

uint64_t KeyHash(const IniFile& file, size_t offset) {
    Line line = ClassifyAt(file.text, offset);
    return HashName(file.text.data() + line.name, line.nameEnd - line.name, SectionOf(file, offset) + 1);
}

uint64_t SectionHash(const IniFile& file, size_t index) {
    std::string name = SectionName(file, file.sections[index]);
    return HashName(name.data(), name.size(), 0);
}

// Open addressing with linear probing: a table of 4 bytes a slot, at most
// three quarters full, is the index's whole cost.
template <typename Hash>
void Grow(std::vector<uint32_t>& slots, size_t count, Hash hash) {
    if ((count + 1) * 4 <= slots.size() * 3) return;
    std::vector<uint32_t> previous(slots.size() < 16 ? 16 : slots.size() * 2, 0);
    previous.swap(slots);
    size_t mask = slots.size() - 1;
    for (uint32_t entry : previous) {
        if (entry == 0) continue;
        size_t i = hash(entry - 1) & mask;
        while (slots[i] != 0) i = (i + 1) & mask;
        slots[i] = entry;
    }
}

// The slot of the section named name: the one holding it, or the free one
// where it belongs.
size_t FindSectionSlot(const IniFile& file, const std::string& name) {
    if (file.sectionSlots.empty()) return 0;
    size_t mask = file.sectionSlots.size() - 1;
    for (size_t i = HashName(name.data(), name.size(), 0) & mask;; i = (i + 1) & mask) {
        uint32_t entry = file.sectionSlots[i];
        if (entry == 0) return i;
        const IniSection& section = file.sections[entry - 1];
        if (!section.named) {
            if (name.empty()) return i;
            continue;
        }
        Line header = ClassifyAt(file.text, section.start);
        if (SameName(file.text, header.name, header.nameEnd, name)) return i;
    }
}

size_t FindKeySlot(const IniFile& file, size_t section, const std::string& name) {
    if (file.keySlots.empty()) return 0;
    const IniSection& s = file.sections[section];
    size_t mask = file.keySlots.size() - 1;
    for (size_t i = HashName(name.data(), name.size(), section + 1) & mask;; i = (i + 1) & mask) {
        uint32_t entry = file.keySlots[i];
        if (entry == 0) return i;
        size_t offset = entry - 1;
        if (offset < s.start || offset >= s.end) continue;
        Line line = ClassifyAt(file.text, offset);
        if (SameName(file.text, line.name, line.nameEnd, name)) return i;
    }
}

// The index of section name; sections.size() when there is none.
size_t FindSection(const IniFile& file, const std::string& name) {
    if (file.sectionSlots.empty()) return file.sections.size();
    uint32_t entry = file.sectionSlots[FindSectionSlot(file, name)];
    return entry == 0 ? file.sections.size() : entry - 1;
}

// The offset of key's line in section; npos when there is none.
size_t FindKey(const IniFile& file, size_t section, const std::string& key) {
    if (file.keySlots.empty()) return std::string::npos;
    uint32_t entry = file.keySlots[FindKeySlot(file, section, key)];
    return entry == 0 ? std::string::npos : entry - 1;
}

// Adds a section unless one of its name exists; returns its index, or -1
// for a repeated one.
long AddSection(IniFile& file, const std::string& name, size_t start, bool named) {
    Grow(file.sectionSlots, file.sections.size(), [&](size_t i) { return SectionHash(file, i); });
    size_t slot = FindSectionSlot(file, name);
    if (file.sectionSlots[slot] != 0) return -1;
    file.sections.push_back(IniSection{static_cast<uint32_t>(start), static_cast<uint32_t>(file.text.size()), named});
    file.sectionSlots[slot] = static_cast<uint32_t>(file.sections.size());
    return static_cast<long>(file.sections.size() - 1);
}

void AddKey(IniFile& file, size_t section, const std::string& name, size_t offset) {
    Grow(file.keySlots, file.keyCount, [&](size_t entry) { return KeyHash(file, entry); });
    size_t slot = FindKeySlot(file, section, name);
    if (file.keySlots[slot] != 0) return;  // the first of a name wins
    file.keySlots[slot] = static_cast<uint32_t>(offset + 1);
    ++file.keyCount;
}

void Index(IniFile& file) {
    file.sections.clear();
    file.sectionSlots.clear();
    file.keySlots.clear();
    file.keyCount = 0;
    const std::string& text = file.text;
    if (text.size() >= UINT32_MAX) return;
    long current = -1;  // -1: before any key, or inside a repeated section
    bool seenHeader = false;
    std::string name;
    size_t body = BodyStart(text);
    for (size_t begin = body, end; begin < text.size(); begin = end) {
        end = LineEnd(text, begin);
        Line line = Classify(text, begin, end);
        if (line.kind == Line::Other) continue;
        name.assign(text, line.name, line.nameEnd - line.name);
        if (line.kind == Line::Section) {
            if (current >= 0) file.sections[current].end = static_cast<uint32_t>(begin);
            seenHeader = true;
            current = AddSection(file, name, begin, true);
        } else {
            if (current < 0 && !seenHeader) current = AddSection(file, "", body, false);
            if (current >= 0) AddKey(file, static_cast<size_t>(current), name, begin);
        }
    }
}

}  // namespace

IniFile ParseIni(std::string text) {
    IniFile file;
    file.text = std::move(text);
    Index(file);
    return file;
}

bool IniFind(const IniFile& file, const std::string& section, const std::string& key, std::string_view& value) {
    size_t s = FindSection(file, section);
    if (s == file.sections.size()) return false;
    size_t offset = FindKey(file, s, key);
    if (offset == std::string::npos) return false;
    Line line = ClassifyAt(file.text, offset);
    value = std::string_view(file.text).substr(line.value, line.valueEnd - line.value);
    return true;
}

std::vector<IniEntry> IniEntries(const IniFile& file) {
    std::vector<uint32_t> offsets;
    for (uint32_t entry : file.keySlots)
        if (entry != 0) offsets.push_back(entry - 1);
    std::sort(offsets.begin(), offsets.end());
    std::vector<IniEntry> entries;
    for (uint32_t offset : offsets) {
        Line line = ClassifyAt(file.text, offset);
        entries.push_back(IniEntry{SectionName(file, file.sections[SectionOf(file, offset)]),
                                   file.text.substr(line.name, line.nameEnd - line.name),
                                   file.text.substr(line.value, line.valueEnd - line.value)});
    }
    return entries;
}

bool IniWrite(IniFile& file, const std::string& section, const char* key, const char* value) {
    std::string& text = file.text;
    size_t s = FindSection(file, section);
    bool found = s < file.sections.size();
    size_t keyAt = found && key != nullptr ? FindKey(file, s, key) : std::string::npos;
    if (key == nullptr) {
        if (!found) return false;
        text.erase(file.sections[s].start, file.sections[s].end - file.sections[s].start);
    } else if (value == nullptr) {
        if (keyAt == std::string::npos) return false;
        text.erase(keyAt, LineEnd(text, keyAt) - keyAt);
    } else if (keyAt != std::string::npos) {
        size_t end = LineEnd(text, keyAt);
        Line old = Classify(text, keyAt, end);
        std::string line = text.substr(old.name, old.nameEnd - old.name) + "=" + value;
        size_t content = ContentEnd(text, keyAt, end);
        if (text.compare(keyAt, content - keyAt, line) == 0) return false;
        text.replace(keyAt, content - keyAt, line);
    } else {
        // The line before a new one must end; its content, and so what it
        // means, stays. A section's last non-blank line is at worst its
        // header, and the nameless section holds a key.
        std::string line = std::string(key) + "=" + value + "\r\n";
        size_t at = text.size();
        if (found) {
            for (size_t begin = file.sections[s].start, end; begin < file.sections[s].end; begin = end) {
                end = LineEnd(text, begin);
                size_t from = begin, to = ContentEnd(text, begin, end);
                Trim(text, from, to);
                if (from < to) at = end;
            }
        } else {
            line = "[" + section + "]\r\n" + line;
        }
        if (at > BodyStart(text) && text[at - 1] != '\n' && text[at - 1] != '\r') {
            text.insert(at, "\r\n");
            at += 2;
        }
        text.insert(at, line);
    }
    Index(file);
    return true;
}
