// A configured report subject template, any text: whenever TakesArgumentsOf
// accepts it for one of the three defaults, formatting it with that
// default's arguments must read only those (a %s given a number, or an
// argument too many, is caught by the sanitizers or as a crash). The
// template lies in a buffer of its own exact size.
#include <cstdint>
#include <string>
#include <vector>

#include "gen/Report.h"
#include "gen/Str.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> format(data, data + size);
    format.push_back('\0');
    const char* text = format.data();
    struct Default {
        const char* model;
        void (*format)(const char*);
    };
    const Default defaults[] = {
        {"Asserted at %s %d%s", [](const char* t) { FUZZ_CHECK(FormatStr(t, "..\\Gen\\Err.cpp", 74, " x").data); }},
        {"Signalled %s%s", [](const char* t) { FUZZ_CHECK(FormatStr(t, "SIGSEGV", " x").data); }},
        {"Gpfed %s 0x%08lX%s", [](const char* t) { FUZZ_CHECK(FormatStr(t, "AV", 0xFFFFFFFFul, " x").data); }},
    };
    for (const Default& d : defaults) {
        if (!TakesArgumentsOf(text, d.model)) continue;
        d.format(text);
        // One conversion more is never taken.
        std::string more = std::string(text) + "%s";
        FUZZ_CHECK(!TakesArgumentsOf(more.c_str(), d.model));
    }
    return 0;
}
