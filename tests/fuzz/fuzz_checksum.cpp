// VerifyChecksumValue and UnscrambleText over any text: a broken check sum
// raises (the raise comes back here through the testing hook) and the text
// behind the sum is returned either way; a text check-summed by the store
// verifies without a raise; scrambling and unscrambling give back any text of
// characters below 160.
#include <cstdint>
#include <cstring>
#include <string>

#include "gen/Err.h"
#include "gen/Ini.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

int raises;

bool CountRaise(const char*, const char*) {
    ++raises;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetRaiseHookForTesting(CountRaise);
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));

    raises = 0;
    Str behind = VerifyChecksumValue(text.c_str());
    FUZZ_CHECK(raises <= 1);
    FUZZ_CHECK(std::string(behind.data) == (text.size() >= 8 ? text.substr(8) : std::string()));
    // A text the store did not scramble may unscramble to a zero, which ends it.
    Str plain = UnscrambleText(behind);
    FUZZ_CHECK(plain.Length() <= behind.Length());

    raises = 0;
    Str summed = ChecksumValue(text.c_str());
    FUZZ_CHECK(std::string(VerifyChecksumValue(summed.data).data) == text);
    FUZZ_CHECK(raises == 0);

    bool low = true;
    for (unsigned char c : text) low = low && c < 160;
    if (low) FUZZ_CHECK(std::string(UnscrambleText(ScrambleText(Str(text.c_str()))).data) == text);
    SetRaiseHookForTesting(nullptr);
    return 0;
}
