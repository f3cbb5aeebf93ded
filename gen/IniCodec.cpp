// The store's value encodings: the CRC-32 of check sums, the scrambling of
// '@' values, and the hex XOR codec.
#include <cstdint>
#include <cstring>

#include "gen/Ini.h"

namespace {

// Slice-by-8: table[0] is the classic byte table; table[k][n] is the CRC of
// byte n followed by k zero bytes, so eight bytes take eight lookups and no
// dependency between them.
struct CrcTables {
    uint32_t table[8][256];
};

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t.table[0][n] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t previous = t.table[k - 1][n];
            t.table[k][n] = (previous >> 8) ^ t.table[0][previous & 0xFF];
        }
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();

uint32_t Load32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The first pair is the key's length in bytes, then two digits a key byte.
const char kKeyTable[] =
    "FF96AE641DC9920D99D343A4013ED03CEF036A8F9B2DE03CED88DD5A721A3E41"
    "6454FD0FA0234909E2DEF8322362EA13BBA823415DA7B48897B018572D8FE083"
    "7B4DE2B6D077E84498C839AAB593EE4F2E60A90E2C96A344CB43452E68DB1215"
    "21583B38696F0601AB3C23DFFD6AC0A6C3E54E8D692022B0D5D9D029BEBF517B"
    "0DCE01C8AFD41DA992BB7CC03A62F9E44937125345E4747921E3F4EA43150A06"
    "F12B8389C4122030028B4DE46596D8898FD090BB8836C613720B99980A6E0ED1"
    "5C39D2F44201E129874B811635B096CF21CBEC379DCE203EFD5A13D5DCA4AA65"
    "A5903C2241921163EC7332F60AC1441B7A1B978F6DC1EE1A0469C5A8BF57E7AB";
static_assert(sizeof kKeyTable == 513, "the key table holds 512 digits");

const char kDigits[] = "0123456789ABCDEF";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Up to two characters as one hexadecimal number, as far as its leading
// digits go: "4z" is 4, "zz" 0, a single last digit a one-digit number.
unsigned ReadPair(const char* pair) {
    unsigned value = 0;
    for (int i = 0; i < 2 && HexDigit(pair[i]) >= 0; ++i) value = value * 16 + static_cast<unsigned>(HexDigit(pair[i]));
    return value;
}

struct XorKey {
    unsigned char bytes[260];
    unsigned length;
    unsigned position = 0;

    XorKey() {
        length = ReadPair(kKeyTable);
        for (unsigned i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(ReadPair(kKeyTable + 2 + 2 * i));
        bytes[length] = 0;
    }
    unsigned char Next() {
        unsigned char byte = bytes[position];
        if (++position >= length) position = 0;
        return byte;
    }
};

}  // namespace

uint32_t Crc32Update(const void* data, size_t length, uint32_t crc) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const auto& t = kCrc.table;
    for (; length >= 8; p += 8, length -= 8) {
        uint32_t one = Load32(p) ^ crc;
        uint32_t two = Load32(p + 4);
        crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^
              t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^ t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
    }
    for (; length > 0; ++p, --length) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    return crc;
}

// Both directions: characters below 32 pass and keep the state; the state
// follows the plain character.
Str ScrambleText(const Str& text) {
    Str result(text);
    unsigned char state = 15;
    for (char* c = result.data; *c; ++c) {
        unsigned char p = static_cast<unsigned char>(*c);
        if (p < 32) continue;
        unsigned char b = static_cast<unsigned char>((p - 32) ^ state);
        *c = static_cast<char>(static_cast<unsigned char>(b + 32));
        state = (p - 32) & 0x7F;
    }
    return result;
}

Str UnscrambleText(const Str& text) {
    Str result(text);
    unsigned char state = 15;
    for (char* c = result.data; *c; ++c) {
        unsigned char s = static_cast<unsigned char>(*c);
        if (s < 32) continue;
        unsigned char b = static_cast<unsigned char>((s - 32) ^ state);
        *c = static_cast<char>(static_cast<unsigned char>(b + 32));
        state = b & 0x7F;
    }
    return result;
}

char* HexXorEncode(const char* text, char* output, int capacity) {
    char* out = output;
    if (capacity > 0) {
        XorKey key;
        int written = 0;
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
            unsigned value = *p ^ key.Next();
            *out++ = kDigits[value >> 4];
            if (++written >= capacity) break;
            *out++ = kDigits[value & 15];
            if (++written >= capacity) break;
        }
    }
    *out = '\0';
    return out;
}

char* HexXorDecode(const char* hex, char* output, int capacity) {
    char* out = output;
    if (capacity > 0) {
        XorKey key;
        int written = 0;
        for (const char* p = hex; *p; p += p[1] ? 2 : 1) {
            *out++ = static_cast<char>((ReadPair(p) & 0xFF) ^ key.Next());
            if (++written >= capacity) break;
        }
    }
    *out = '\0';
    return out;
}
