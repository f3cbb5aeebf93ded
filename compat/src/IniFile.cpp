#include "IniFile.h"

#include "Files.h"

namespace {

const std::string kByteOrderMark = "\xEF\xBB\xBF";  // UTF-8's

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& text, size_t begin, size_t end) {
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

size_t ContentEnd(const std::string& raw) {
    size_t end = raw.size();
    while (end > 0 && (raw[end - 1] == '\n' || raw[end - 1] == '\r')) --end;
    return end;
}

void Classify(IniLine& line) {
    const std::string& raw = line.raw;
    size_t end = ContentEnd(raw);
    size_t start = 0;
    while (start < end && IsBlank(raw[start])) ++start;
    line.kind = IniLine::Other;
    if (start == end || raw[start] == ';') return;
    if (raw[start] == '[') {
        size_t close = raw.find(']', start + 1);
        if (close == std::string::npos || close > end) close = end;
        line.kind = IniLine::Section;
        line.name = Trimmed(raw, start + 1, close);
        return;
    }
    size_t equals = raw.find('=', start);
    if (equals == std::string::npos || equals >= end) return;
    line.kind = IniLine::Key;
    line.name = Trimmed(raw, start, equals);
    line.value = Trimmed(raw, equals + 1, end);
    const std::string& v = line.value;
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) line.value = v.substr(1, v.size() - 2);
}

void Index(IniFile& file) {
    file.sections.clear();
    IniSection* current = nullptr;  // null: before any key, or inside a repeated section
    bool seenHeader = false;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const IniLine& line = file.lines[i];
        if (line.kind == IniLine::Section) {
            if (current) current->end = i;
            seenHeader = true;
            auto inserted = file.sections.emplace(LowerAscii(line.name), IniSection{i, file.lines.size(), {}});
            current = inserted.second ? &inserted.first->second : nullptr;
        } else if (line.kind == IniLine::Key) {
            if (!current && !seenHeader)
                current = &file.sections.emplace("", IniSection{file.lines.size(), file.lines.size(), {}}).first->second;
            if (current) current->keys.emplace(LowerAscii(line.name), i);
        }
    }
    if (current) current->end = file.lines.size();
}

}  // namespace

IniFile ParseIni(const std::string& text) {
    IniFile file;
    size_t start = 0;
    if (text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) {
        file.byteOrderMark = true;
        start = kByteOrderMark.size();
    }
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        } else {
            end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
        }
        IniLine line;
        line.raw = text.substr(start, end - start);
        Classify(line);
        file.lines.push_back(std::move(line));
        start = end;
    }
    Index(file);
    return file;
}

std::string IniText(const IniFile& file) {
    std::string text = file.byteOrderMark ? kByteOrderMark : std::string();
    for (const IniLine& line : file.lines) text += line.raw;
    return text;
}

const std::string* IniFind(const IniFile& file, const std::string& section, const std::string& key) {
    auto s = file.sections.find(LowerAscii(section));
    if (s == file.sections.end()) return nullptr;
    auto k = s->second.keys.find(LowerAscii(key));
    return k == s->second.keys.end() ? nullptr : &file.lines[k->second].value;
}

bool IniWrite(IniFile& file, const std::string& section, const char* key, const char* value) {
    std::vector<IniLine>& lines = file.lines;
    auto s = file.sections.find(LowerAscii(section));
    bool found = s != file.sections.end();
    if (key == nullptr) {
        if (!found) return false;
        size_t from = s->second.header < lines.size() ? s->second.header : 0;
        lines.erase(lines.begin() + static_cast<long>(from), lines.begin() + static_cast<long>(s->second.end));
    } else {
        auto k = found ? s->second.keys.find(LowerAscii(key)) : decltype(s->second.keys.end())();
        bool keyFound = found && k != s->second.keys.end();
        if (value == nullptr) {
            if (!keyFound) return false;
            lines.erase(lines.begin() + static_cast<long>(k->second));
        } else {
            IniLine line;
            if (keyFound) {
                const IniLine& old = lines[k->second];
                line.raw = old.name + "=" + value + old.raw.substr(ContentEnd(old.raw));
                if (line.raw == old.raw) return false;
                Classify(line);
                lines[k->second] = line;
            } else {
                // The line before a new one must end; its content, and so
                // what it means, stays.
                auto endLine = [&](size_t i) {
                    if (i < lines.size() && ContentEnd(lines[i].raw) == lines[i].raw.size()) lines[i].raw += "\r\n";
                };
                line.raw = std::string(key) + "=" + value + "\r\n";
                Classify(line);
                if (found) {
                    size_t at = s->second.header < lines.size() ? s->second.header : 0;
                    for (size_t i = at; i < s->second.end; ++i)
                        if (!Trimmed(lines[i].raw, 0, ContentEnd(lines[i].raw)).empty()) at = i;
                    endLine(at);
                    lines.insert(lines.begin() + static_cast<long>(at + 1), line);
                } else {
                    if (!lines.empty()) endLine(lines.size() - 1);
                    IniLine header;
                    header.raw = "[" + section + "]\r\n";
                    Classify(header);
                    lines.push_back(header);
                    lines.push_back(line);
                }
            }
        }
    }
    Index(file);
    return true;
}
