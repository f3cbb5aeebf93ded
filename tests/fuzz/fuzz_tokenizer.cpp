// The tokenizer walk and Split over arbitrary bytes. Input: byte 0 = the delimiter,
// byte 1 = how many bytes at the end of the text the view leaves out (so a
// view is followed by other bytes than the terminator), then the text. The
// text lies in an exact heap block with its terminator, so the sanitizer
// sees any read past the one byte after the view.
#include <cstdint>
#include <cstring>
#include <memory>

#include "gen/Slice.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    char delimiter = static_cast<char>(data[0]);
    size_t textLength = size - 2;
    std::unique_ptr<char[]> text(new char[textLength + 1]);
    memcpy(text.get(), data + 2, textLength);
    text[textLength] = '\0';
    unsigned viewLength = static_cast<unsigned>(textLength - data[1] % (textLength + 1));
    StrSlice view(viewLength, text.get());
    const char* limit = view.chars + view.length;

    unsigned delimiters = 0;
    for (unsigned i = 0; i < view.length; ++i) delimiters += view.chars[i] == delimiter;

    // Tokens follow one another, one delimiter between each two, and cover
    // the view exactly.
    unsigned tokens = 0;
    const char* expectedStart = view.chars;
    StrTokenizer walk(view, delimiter);
    for (; walk.HasToken(); walk.Advance()) {
        StrSlice token = walk.Token();
        FUZZ_CHECK(token.chars == expectedStart);
        FUZZ_CHECK(token.chars + token.length <= limit);
        FUZZ_CHECK(!memchr(token.chars, delimiter, token.length));
        FUZZ_CHECK(walk.end == limit || *walk.end == delimiter);
        expectedStart = token.chars + token.length + 1;
        FUZZ_CHECK(++tokens <= delimiters + 1);
    }
    FUZZ_CHECK(tokens == delimiters + 1);
    FUZZ_CHECK(walk.start == limit + 1);

    // Split gives the same views, in an exact block, whatever the reserve.
    StrTokenizer again(view, delimiter);
    TypedBlock<StrSlice> views = again.Split(data[1] % 8);
    FUZZ_CHECK(views.Count() == tokens);
    FUZZ_CHECK(views.raw.Size() == tokens * sizeof(StrSlice));
    StrTokenizer check(view, delimiter);
    for (const StrSlice& v : views) {
        FUZZ_CHECK(v.chars == check.start && v.length == check.Token().length);
        check.Advance();
    }
    FUZZ_CHECK(!again.HasToken());
    return 0;
}
