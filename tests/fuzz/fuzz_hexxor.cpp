// HexXorDecode over any text and capacity, into a buffer of exactly
// capacity + 1 bytes; encoding any text and decoding it gives it back.
// Input: byte 0 the capacity (its top bit: negative), then the text.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gen/Ini.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    int capacity = (data[0] & 0x80) ? -(data[0] & 0x7F) : data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    text = text.substr(0, text.find('\0'));
    size_t room = capacity > 0 ? static_cast<size_t>(capacity) + 1 : 1;

    std::vector<char> out(room);
    char* end = HexXorDecode(text.c_str(), out.data(), capacity);
    size_t pairs = (text.size() + 1) / 2;
    size_t expected = capacity > 0 ? std::min(pairs, static_cast<size_t>(capacity)) : 0;
    FUZZ_CHECK(end == out.data() + expected);
    FUZZ_CHECK(*end == '\0');

    std::vector<char> hex(room);
    end = HexXorEncode(text.c_str(), hex.data(), capacity);
    expected = capacity > 0 ? std::min(2 * text.size(), static_cast<size_t>(capacity)) : 0;
    FUZZ_CHECK(end == hex.data() + expected);

    std::vector<char> full(2 * text.size() + 1);
    HexXorEncode(text.c_str(), full.data(), static_cast<int>(2 * text.size()));
    std::vector<char> back(text.size() + 1);
    char* backEnd = HexXorDecode(full.data(), back.data(), static_cast<int>(text.size()));
    FUZZ_CHECK(backEnd == back.data() + text.size());
    // A key byte equal to a character decodes as a zero byte: compare bytes.
    FUZZ_CHECK(memcmp(back.data(), text.data(), text.size()) == 0);
    return 0;
}
