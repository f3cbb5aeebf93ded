// compat's INI file over any text: parsing never fails, and writing one key
// changes only that key's line (a new one, or the line before it gaining a
// line end): every other line stays byte for byte and every other key reads
// as before, while the written key reads back as written.
// Input: byte 0 and 1 the section and key lengths, then section, key, and
// the value up to the first line break, then the file's text.
#include <cstdint>
#include <string>
#include <vector>

#include "IniFile.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Names and values that the file format can hold and give back unchanged.
bool Writable(const std::string& text, bool name) {
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
    if (!text.empty() && (IsBlank(text.front()) || IsBlank(text.back()))) return false;
    if (name) return !text.empty() && text.find_first_of("=[];") == std::string::npos;
    return !(text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0]);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The text's lines, each with its line end (CR LF, CR or LF).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find_first_of("\r\n", start);
        end = end == std::string::npos ? text.size()
                                       : end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string section = rest.substr(0, data[0] % 16);
    rest = rest.substr(section.size());
    std::string key = rest.substr(0, data[1] % 16);
    rest = rest.substr(key.size());
    size_t valueEnd = rest.find('\n');
    std::string value = rest.substr(0, valueEnd);
    std::string text = valueEnd == std::string::npos ? std::string() : rest.substr(valueEnd + 1);

    IniFile file = ParseIni(text);
    FUZZ_CHECK(IniText(file) == text);
    if (!Writable(section, true) || !Writable(key, true) || !Writable(value, false)) return 0;

    IniFile before = file;
    IniWrite(file, section, key.c_str(), value.c_str());
    std::string_view read;
    FUZZ_CHECK(IniFind(file, section, key, read) && read == value);
    // Every other key of the old text reads the same.
    for (const IniEntry& e : IniEntries(before)) {
        if (Lower(e.section) == Lower(section) && Lower(e.key) == Lower(key)) continue;
        std::string_view now;
        FUZZ_CHECK(IniFind(file, e.section, e.key, now) && now == e.value);
    }
    // The old lines, in order, with one changed, one added, or a line end
    // added to one.
    std::vector<std::string> old = Lines(IniText(before)), now = Lines(IniText(file));
    size_t i = 0;
    while (i < old.size() && i < now.size() && old[i] == now[i]) ++i;
    size_t j = 0;
    while (j < old.size() && j < now.size() && old[old.size() - 1 - j] == now[now.size() - 1 - j]) ++j;
    FUZZ_CHECK(now.size() >= old.size() && now.size() <= old.size() + 2);
    FUZZ_CHECK(i + j + 3 >= old.size());
    return 0;
}
