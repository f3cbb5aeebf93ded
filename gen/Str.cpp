#include "gen/Str.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "gen/Array.h"
#include "gen/Err.h"
#include "gen/Startup.h"

const char EmptyText[1] = "";
char FormatBuffer[FormatBufferSize];

namespace {

// The largest block a text or builder may have: the arrays' cap.
const unsigned kMaxBytes = ArrayMaximumCapacity;
// Matches ReplaceAll keeps from its counting pass (a few hundred bytes of stack).
const unsigned kRememberedMatches = 64;

// Not a real Str: a destroyed holder must not free the text it points at.
union LowerCaseHolder {
    Str text;
    LowerCaseHolder() : text() {}
    ~LowerCaseHolder() {}
} lowerCaseHolder;

// Null until the first ScratchBuffer; its destructor frees the last block
// at exit.
StrBuilder scratch GEN_STARTUP(StartupScratchBuffer);

// The first occurrence of pattern (n > 0 bytes, no NUL among them) in
// [from, end), as strstr finds it in a text that ends at end.
const char* FindPattern(const char* from, const char* end, const char* pattern, size_t n) {
    while (static_cast<size_t>(end - from) >= n) {
        from = static_cast<const char*>(memchr(from, pattern[0], static_cast<size_t>(end - from) - n + 1));
        if (!from) return nullptr;
        if (memcmp(from + 1, pattern + 1, n - 1) == 0) return from;
        ++from;
    }
    return nullptr;
}

}  // namespace

// FormatBuffer's last byte is set after the call: some runtimes' bounded
// formatters leave a text that does not fit unterminated.
void FormatIntoBuffer(const char* format, va_list arguments) {
    FormatBuffer[0] = '\0';
    vsnprintf(FormatBuffer, FormatBufferSize, format, arguments);
    FormatBuffer[FormatBufferSize - 1] = '\0';
}

char* Str::TooLong() {
    RaiseError(NotEnoughMemory);
    return Empty();
}

void Str::ReplaceChar(char from, char to) {
    unsigned length = Length();
    for (unsigned i = 0; i < length; ++i)
        if (data[i] == from) data[i] = to;
}

void Str::ReplaceAll(const char* pattern, const char* replacement) {
    size_t patternLength = strlen(pattern);
    if (patternLength == 0) return;
    size_t textLength = strlen(data);
    const char* textEnd = data + textLength;
    const char* first = FindPattern(data, textEnd, pattern, patternLength);
    if (!first) return;

    // Two passes over the text: count, then build into one exact block. The
    // old text stays whole until the new one is complete, so a raise leaves
    // it unchanged and pattern or replacement may lie inside it. The first
    // matches are remembered; the second pass searches only beyond them.
    size_t replacementLength = strlen(replacement);
    const char* remembered[kRememberedMatches];
    uint64_t count = 0;
    for (const char* match = first; match;
         match = FindPattern(match + patternLength, textEnd, pattern, patternLength)) {
        if (count < kRememberedMatches) remembered[count] = match;
        ++count;
    }
    uint64_t total = textLength - count * patternLength + count * replacementLength;
    if (total > kMaxBytes - 1) {
        RaiseError(NotEnoughMemory);
        return;
    }
    if (total == 0) {
        FreeText(data);
        data = Empty();
        return;
    }
    char* result = static_cast<char*>(HeapAllocate(static_cast<unsigned>(total) + 1));
    if (!result) return;  // the raise of a refused allocation came back
    char* out = result;
    const char* rest = data;
    const char* match = first;
    for (uint64_t index = 1; match; ++index) {
        size_t kept = static_cast<size_t>(match - rest);
        memcpy(out, rest, kept);
        out += kept;
        memcpy(out, replacement, replacementLength);
        out += replacementLength;
        rest = match + patternLength;
        if (index >= count)
            match = nullptr;
        else if (index < kRememberedMatches)
            match = remembered[index];
        else
            match = FindPattern(rest, textEnd, pattern, patternLength);
    }
    memcpy(out, rest, textLength - static_cast<size_t>(rest - data) + 1);
    FreeText(data);
    data = result;
}

const Str& LowerCase(Str& s) {
    for (char* p = s.data; *p; ++p) *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    lowerCaseHolder.text.data = s.data;
    return lowerCaseHolder.text;
}

Str FormatStr(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Str result = FormatStrV(format, arguments);
    va_end(arguments);
    return result;
}

Str FormatStrV(const char* format, va_list arguments) {
    FormatIntoBuffer(format, arguments);
    return Str(FormatBuffer);
}

Str Concat(StrSlice a, StrSlice b) {
    uint64_t total = uint64_t{a.length} + b.length;
    if (total > kMaxBytes - 1) {
        RaiseError(NotEnoughMemory);
        return Str();
    }
    if (total == 0) return Str();
    char* block = static_cast<char*>(HeapAllocate(static_cast<unsigned>(total) + 1));
    if (!block) return Str();  // the raise of a refused allocation came back
    if (a.length) memcpy(block, a.chars, a.length);
    if (b.length) memcpy(block + a.length, b.chars, b.length);
    block[total] = '\0';
    // Without a NUL among the bytes the block is already an exact text.
    if (!memchr(block, '\0', total)) {
        Str result;
        result.data = block;
        return result;
    }
    Str result(block);
    FreeText(block);
    return result;
}

Str TrimSpaces(const char* text) {
    while (*text == ' ') ++text;
    unsigned length = static_cast<unsigned>(strlen(text));
    while (length > 0 && text[length - 1] == ' ') --length;
    return Str(StrSlice(length, text));
}

StrBuilder::StrBuilder(unsigned n) : storage(nullptr), capacity(0), end(nullptr) {
    if (n >= kMaxBytes) {
        RaiseError(NotEnoughMemory);
        return;  // the raise came back: no storage, never a block smaller than asked for
    }
    storage = end = static_cast<char*>(HeapAllocate(n + 1));
    if (!storage) return;  // the raise came back: no storage, as before the first Append
    *end = '\0';
    capacity = n + 1;
}

void StrBuilder::AppendGrowing(const char* bytes, unsigned count) {
    unsigned used = Length();
    uint64_t needed = uint64_t{used} + count + 1;
    if (needed > kMaxBytes) {
        RaiseError(NotEnoughMemory);
        return;
    }
    uint64_t grown = needed * 3 / 2;
    unsigned newCapacity = grown > kMaxBytes ? kMaxBytes : static_cast<unsigned>(grown);
    char* block = static_cast<char*>(HeapAllocate(newCapacity));
    if (!block) return;  // the raise of a refused allocation came back
    if (used) memcpy(block, storage, used);
    // The new bytes are copied before the old block is freed: they may lie
    // inside it.
    memcpy(block + used, bytes, count);
    block[used + count] = '\0';
    FreeText(storage);
    storage = block;
    capacity = newCapacity;
    end = block + used + count;
}

void StrBuilder::AppendFormat(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    AppendFormatV(format, arguments);
    va_end(arguments);
}

void StrBuilder::AppendFormatV(const char* format, va_list arguments) {
    FormatIntoBuffer(format, arguments);
    Append(FormatBuffer);
}

char* ScratchBuffer(unsigned n) {
    // The new block is obtained before the old one is freed: a raise leaves
    // the scratch buffer as it was.
    StrBuilder fresh(n);
    // The raise came back: no buffer of that size exists, and a smaller old
    // one must not be handed out.
    if (!fresh.storage) return nullptr;
    FreeText(scratch.storage);
    scratch.storage = fresh.storage;
    scratch.capacity = fresh.capacity;
    scratch.end = fresh.end;
    fresh.storage = nullptr;
    return scratch.storage;
}

Str ScratchString() { return Str(scratch.storage ? scratch.storage : EmptyText); }
