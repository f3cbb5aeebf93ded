// A configured report subject template, any text: whenever TakesArgumentsOf
// accepts it for one of the three defaults, formatting it with that
// default's arguments must read only those (a %s given a number, or an
// argument too many, is caught by the sanitizers or as a crash), and the
// subject stays small: no conversion fills more than 4 digits of width. The
// template lies in a buffer of its own exact size.
#include <cstdint>
#include <cstring>
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
        Str (*format)(const char*);
    };
    const Default defaults[] = {
        {"Asserted at %s %d%s", [](const char* t) { return FormatStr(t, "..\\Gen\\Err.cpp", 74, " x"); }},
        {"Signalled %s%s", [](const char* t) { return FormatStr(t, "SIGSEGV", " x"); }},
        {"Gpfed %s 0x%08lX%s", [](const char* t) { return FormatStr(t, "AV", 0xFFFFFFFFul, " x"); }},
    };
    // Each of the (at most three) conversions fills at most 9999 characters
    // more than it is written with; the rest of the template is copied.
    const size_t longest = size + 3 * 9999;
    for (const Default& d : defaults) {
        if (!TakesArgumentsOf(text, d.model)) continue;
        Str subject = d.format(text);
        FUZZ_CHECK(subject.data && strlen(subject.data) <= longest);
        // One conversion more is never taken.
        std::string more = std::string(text) + "%s";
        FUZZ_CHECK(!TakesArgumentsOf(more.c_str(), d.model));
    }
    return 0;
}
