// Views cut out of texts without copying, the tokenizer that walks a view
// from one delimiter byte to the next, and the search of records by a key.
#pragma once

#include <cstddef>
#include <cstring>

#include "gen/Array.h"
#include "gen/Str.h"

// s[start, end) as a new Str: end is clamped to s.length, then start to end;
// nothing outside the view is read.
inline Str SliceToStr(StrSlice s, unsigned start, unsigned end) {
    if (end > s.length) end = s.length;
    if (start > end) start = end;
    return Str(StrSlice(end - start, s.chars + start));
}

// Equal lengths and strncmp over them gives 0 (so the comparison stops at a
// NUL both hold at the same place).
inline bool SliceEquals(StrSlice a, StrSlice b) {
    return a.length == b.length && strncmp(a.chars, b.chars, a.length) == 0;
}
inline bool SliceEquals(StrSlice a, const char* text) { return SliceEquals(a, StrSlice(text)); }

// The part of outer before inner; inner must lie within outer.
inline StrSlice SliceBefore(StrSlice outer, StrSlice inner) {
    return StrSlice(static_cast<unsigned>(inner.chars - outer.chars), outer.chars);
}
// The part of outer after inner; inner must lie within outer.
inline StrSlice SliceAfter(StrSlice outer, StrSlice inner) {
    const char* chars = inner.chars + inner.length;
    return StrSlice(static_cast<unsigned>(outer.chars + outer.length - chars), chars);
}
// The gap from the end of first to the start of second, which must not come
// before it.
inline StrSlice SliceBetween(StrSlice first, StrSlice second) {
    const char* chars = first.chars + first.length;
    return StrSlice(static_cast<unsigned>(second.chars - chars), chars);
}

// A cursor over one view: the current token is [start, end), end being the
// delimiter found or limit. A token exists while start <= limit. The byte
// at limit is read when the cursor moves past the last token, so the view
// must be followed by a readable byte (a view into a NUL-terminated text
// always is).
struct StrTokenizer {
    const char* start;
    const char* end;
    const char* limit;

    StrTokenizer(StrSlice view, char delimiter)
        : start(view.chars), end(view.chars), limit(view.chars + view.length) {
        Find(delimiter);
    }

    bool HasToken() const { return start <= limit; }
    StrSlice Token() const { return StrSlice(static_cast<unsigned>(end - start), start); }

    // Ends the current token at the next c, or at limit; Find('\0') on a view
    // of a NUL-terminated text takes the rest of the view.
    void Find(char c) {
        const void* found = start < limit ? memchr(start, c, static_cast<size_t>(limit - start)) : nullptr;
        end = found ? static_cast<const char*>(found) : limit;
    }
    // Moves past the delimiter at end and finds the next one like it; past
    // the last token start becomes limit + 1.
    void Advance() {
        char delimiter = *end;
        start = end + 1;
        Find(delimiter);
    }
    // The views from the current token to the last, the walk done: filled in
    // an array with room for reserve views, handed on as an exact block.
    TypedBlock<StrSlice> Split(unsigned reserve);
};

// Walks first, first + stride, ... (stride in bytes, not zero) up to last
// and returns the first record whose accessor's text equals key (strcmp),
// or null; an empty range calls no accessor.
template <typename Record, typename Accessor>
Record* FindByKey(Record* first, Record* last, unsigned stride, Accessor accessor, const char* key) {
    char* base = const_cast<char*>(reinterpret_cast<const char*>(first));
    ptrdiff_t span = const_cast<char*>(reinterpret_cast<const char*>(last)) - base;
    for (ptrdiff_t offset = 0; offset < span; offset += stride) {
        Record* record = reinterpret_cast<Record*>(base + offset);
        if (strcmp((record->*accessor)(), key) == 0) return record;
    }
    return nullptr;
}

// The same over a range given as one value; the record type is the
// accessor's.
template <typename Record, typename Text>
Record* FindByKey(ByteRange range, unsigned stride, Text (Record::*accessor)() const, const char* key) {
    return FindByKey(reinterpret_cast<Record*>(range.first), reinterpret_cast<Record*>(range.end),
                     stride, accessor, key);
}
