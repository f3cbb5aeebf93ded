// The store's value encodings: the CRC-32 of check sums, the scrambling of
// '@' values, the byte-array form and the hex XOR codec.
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "gen/Ini.h"

namespace {

// Slice-by-8 tables: table[0] is the classic byte table, table[k][n] the
// CRC of byte n followed by k zero bytes, so eight bytes take eight
// independent lookups.
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

uint32_t Slice8(const unsigned char* p, size_t length, uint32_t crc) {
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

#if defined(__x86_64__) || defined(__i386__)
#define GEN_CRC_FOLDING 1

// Long ranges are folded with carry-less multiplication where the processor
// has it: four 16-byte lanes are multiplied forward by x^512 at a time, then
// folded into one, reduced to 64 and by Barrett reduction to 32 bits. The
// constants are powers of x modulo the polynomial, in the reflected form.
__attribute__((target("pclmul,sse2"))) inline __m128i Fold16(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), next), _mm_clmulepi64_si128(x, k, 0x00));
}

// length: at least 64, a multiple of 16.
__attribute__((target("pclmul,sse2"))) uint32_t Fold(const unsigned char* p, size_t length, uint32_t crc) {
    alignas(16) static const uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static const uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static const uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
    alignas(16) static const uint64_t poly[] = {0x01db710641, 0x01f7011641};
    const __m128i* in = reinterpret_cast<const __m128i*>(p);
    __m128i x1 = _mm_loadu_si128(in + 0), x2 = _mm_loadu_si128(in + 1);
    __m128i x3 = _mm_loadu_si128(in + 2), x4 = _mm_loadu_si128(in + 3);
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    in += 4;
    length -= 64;
    for (; length >= 64; length -= 64, in += 4) {
        __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00), x6 = _mm_clmulepi64_si128(x2, x0, 0x00);
        __m128i x7 = _mm_clmulepi64_si128(x3, x0, 0x00), x8 = _mm_clmulepi64_si128(x4, x0, 0x00);
        x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, x0, 0x11), x5), _mm_loadu_si128(in + 0));
        x2 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x2, x0, 0x11), x6), _mm_loadu_si128(in + 1));
        x3 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x3, x0, 0x11), x7), _mm_loadu_si128(in + 2));
        x4 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x4, x0, 0x11), x8), _mm_loadu_si128(in + 3));
    }
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = Fold16(x1, x0, x2);
    x1 = Fold16(x1, x0, x3);
    x1 = Fold16(x1, x0, x4);
    for (; length >= 16; length -= 16, ++in) x1 = Fold16(x1, x0, _mm_loadu_si128(in));
    // 128 bits to 64.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x2 = _mm_clmulepi64_si128(x1, x0, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), x0, 0x00), x2);
    // Barrett reduction to 32 bits.
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x2 = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), x0, 0x10), mask32);
    x1 = _mm_xor_si128(x1, _mm_clmulepi64_si128(x2, x0, 0x00));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

bool CanFold() {
    static const bool can = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    }();
    return can;
}
#endif

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

// Hexadecimal digits from *p on, at least one; the value saturates.
bool ReadHex(const char*& p, unsigned long long& value) {
    value = 0;
    const char* start = p;
    for (int digit; (digit = HexDigit(*p)) >= 0; ++p)
        if (value <= 0xFFFFFFFFull) value = value * 16 + static_cast<unsigned>(digit);
    return p > start;
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
#ifdef GEN_CRC_FOLDING
    if (length >= 64 && CanFold()) {
        size_t folded = length & ~static_cast<size_t>(15);
        crc = Fold(p, folded, crc);
        p += folded;
        length -= folded;
    }
#endif
    return Slice8(p, length, crc);
}

namespace {

// Both directions: characters below 32 pass and keep the state; the state
// follows the plain character (the one given when scrambling, the one made
// when unscrambling).
Str Scrambled(const Str& text, bool scramble) {
    Str result(text);
    unsigned char state = 15;
    for (char* c = result.data; *c; ++c) {
        unsigned char given = static_cast<unsigned char>(*c);
        if (given < 32) continue;
        unsigned char made = static_cast<unsigned char>((given - 32) ^ state);
        *c = static_cast<char>(static_cast<unsigned char>(made + 32));
        state = (scramble ? given - 32 : made) & 0x7F;
    }
    return result;
}

}  // namespace

Str ScrambleText(const Str& text) { return Scrambled(text, true); }

Str UnscrambleText(const Str& text) { return Scrambled(text, false); }

// The byte-array form of settings.
bool ParseSettingBytes(const char* text, unsigned char* bytes, int count) {
    if (count < 0 || strlen(text) != 3ull * static_cast<unsigned>(count) + 4) return false;
    const char* p = text;
    unsigned long long value;
    if (!ReadHex(p, value) || value != static_cast<unsigned>(count)) return false;
    for (int i = 0; i < count; ++i) {
        p = text + 4 + 3 * static_cast<size_t>(i);
        while (*p == ' ' || *p == '\t') ++p;
        if (!ReadHex(p, value)) return false;
        bytes[i] = static_cast<unsigned char>(value & 0xFF);
    }
    return true;
}

Str SettingBytesText(const unsigned char* bytes, int count) {
    // A count whose text would not fit a Str gives no text either.
    if (count < 0 || static_cast<unsigned>(count) > (0xFFFFFEFFu - 5) / 3) return Str();
    StrBuilder text(3 * static_cast<unsigned>(count) + 5);
    char head[16];
    snprintf(head, sizeof head, "%04x", static_cast<unsigned>(count));
    text.Append(head);
    for (int i = 0; i < count; ++i) {
        const char pair[3] = {' ', kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
        text.Append(pair, 3);
    }
    return Str(text.storage);
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
