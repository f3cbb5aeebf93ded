// The byte-array reader over any text: it writes only the count bytes it is
// given (an exactly sized buffer), and the store's own form of any bytes
// reads back as those bytes. Input: byte 0 the count, then the text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gen/Ini.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int count = data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.substr(0, text.find('\0'));

    std::vector<unsigned char> bytes(count > 0 ? count : 1);
    bool accepted = ParseSettingBytes(text.c_str(), bytes.data(), count);
    if (accepted) FUZZ_CHECK(text.size() == 3u * static_cast<unsigned>(count) + 4);

    std::vector<unsigned char> original(text.begin(), text.end());
    original.resize(count);
    Str form = SettingBytesText(original.data(), count);
    FUZZ_CHECK(form.Length() == 3u * static_cast<unsigned>(count) + 4);
    std::vector<unsigned char> back(count > 0 ? count : 1);
    FUZZ_CHECK(ParseSettingBytes(form.data, back.data(), count));
    FUZZ_CHECK(count == 0 || memcmp(back.data(), original.data(), count) == 0);
    return 0;
}
