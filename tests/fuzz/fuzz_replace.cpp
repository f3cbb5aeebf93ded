// ReplaceAll with arbitrary bytes, against a plain std::string replace.
// Input: byte 0 = pattern length (its top bit: take the pattern from inside
// the text instead), byte 1 = replacement length, then the pattern, the
// replacement and the text. Each is used as a C text, up to a first NUL.
#include <cstdint>
#include <cstring>
#include <string>

#include "gen/Str.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

std::string Reference(const std::string& text, const std::string& pattern,
                      const std::string& replacement) {
    if (pattern.empty()) return text;
    std::string out;
    size_t rest = 0;
    for (size_t match; (match = text.find(pattern, rest)) != std::string::npos;
         rest = match + pattern.size()) {
        out.append(text, rest, match - rest);
        out += replacement;
    }
    out.append(text, rest, std::string::npos);
    return out;
}

// Bytes taken one field after another; a short input gives short fields.
struct Reader {
    const uint8_t* data;
    size_t size;
    std::string Take(size_t n) {
        if (n > size) n = size;
        std::string field(reinterpret_cast<const char*>(data), n);
        data += n;
        size -= n;
        return field;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    bool patternInside = (data[0] & 0x80) != 0;
    Reader in{data + 2, size - 2};
    std::string pattern = in.Take(data[0] & 0x7F);
    std::string replacement = in.Take(data[1]);
    std::string text = in.Take(in.size);

    Str s(text.c_str());
    std::string visible = s.data;
    const char* patternText = pattern.c_str();
    if (patternInside) {
        // The pattern is a tail of the text itself, as callers may pass.
        unsigned length = s.Length();
        patternText = s.data + (length == 0 ? 0 : (data[0] & 0x7F) % (length + 1));
    }
    std::string patternCopy = patternText;
    std::string expected = Reference(visible, patternCopy, replacement.c_str());
    bool matches = !patternCopy.empty() && visible.find(patternCopy) != std::string::npos;

    char* before = s.data;
    s.ReplaceAll(patternText, replacement.c_str());
    FUZZ_CHECK(expected == s.data);
    if (!matches) FUZZ_CHECK(s.data == before);
    if (expected.empty()) FUZZ_CHECK(s.data == EmptyText);
    return 0;
}
