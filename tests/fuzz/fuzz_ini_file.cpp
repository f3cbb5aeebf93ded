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
    const std::string* read = IniFind(file, section, key);
    FUZZ_CHECK(read && *read == value);
    // Every other key of the old text reads the same.
    for (const auto& s : before.sections) {
        for (const auto& k : s.second.keys) {
            if (s.first == Lower(section) && k.first == Lower(key)) continue;
            const std::string* now = IniFind(file, s.first, k.first);
            FUZZ_CHECK(now && *now == before.lines[k.second].value);
        }
    }
    // The old lines, in order, with one changed, one added, or a line end
    // added to one.
    std::vector<std::string> old, now;
    for (const IniLine& line : before.lines) old.push_back(line.raw);
    for (const IniLine& line : file.lines) now.push_back(line.raw);
    size_t i = 0;
    while (i < old.size() && i < now.size() && old[i] == now[i]) ++i;
    size_t j = 0;
    while (j < old.size() && j < now.size() && old[old.size() - 1 - j] == now[now.size() - 1 - j]) ++j;
    FUZZ_CHECK(now.size() >= old.size() && now.size() <= old.size() + 2);
    FUZZ_CHECK(i + j + 3 >= old.size());
    return 0;
}
