// Texts: the owned string Str, the view StrSlice, the growable StrBuilder,
// formatting through the shared FormatBuffer, the scratch buffer and the
// text operations. Lengths and positions are unsigned 32-bit on every build
// and are clamped to the text, never checked.
#pragma once

#include <cstdarg>
#include <cstring>

#include "gen/Heap.h"

// The one empty text every empty Str points at; read-only, never freed.
extern const char EmptyText[1];

// Frees a text buffer unless it is null or EmptyText; the only way a text
// buffer is freed, so freeing an empty or released Str costs nothing.
inline void FreeText(const char* text) {
    if (text && text != EmptyText) HeapRelease(const_cast<char*>(text));
}

struct Str;

// A non-owning view of length bytes at chars, not terminated in general.
struct StrSlice {
    unsigned length;
    const char* chars;

    // The empty view; it points at EmptyText, so the byte after it is readable.
    StrSlice() : length(0), chars(EmptyText) {}
    StrSlice(unsigned length, const char* chars) : length(length), chars(chars) {}
    // The whole text.
    StrSlice(const char* text) : length(static_cast<unsigned>(strlen(text))), chars(text) {}
    StrSlice(const Str& text);
    // text[start, end) with both positions clamped to the text: start to its
    // length, end to its length and then to at least start.
    StrSlice(const char* text, unsigned start, unsigned end);
};

// An owned, heap-allocated, NUL-terminated text. data is never null (empty
// texts point at EmptyText, never allocated) except after Release; each
// non-empty text has exactly length + 1 bytes of its own.
struct Str {
    char* data;

    Str() : data(Empty()) {}
    // Copies the text up to its terminator; text must not be null.
    Str(const char* text) : data(NewText(text, static_cast<unsigned>(strlen(text)))) {}
    // Copies exactly slice.length bytes and terminates them; a NUL among them
    // ends the visible text early.
    explicit Str(StrSlice slice) : data(NewText(slice.chars, slice.length)) {}
    Str(const Str& other) : Str(other.data) {}
    // The source is left empty (EmptyText), never null.
    Str(Str&& other) noexcept : data(other.data) { other.data = Empty(); }
    ~Str() { FreeText(data); }

    // Assignment copies the new text first and frees the old one after: a
    // source inside the target is safe, and if the allocation raises the
    // target keeps its old text.
    Str& operator=(const Str& other) { return Assign(other.data, static_cast<unsigned>(strlen(other.data))); }
    Str& operator=(const char* text) { return Assign(text, static_cast<unsigned>(strlen(text))); }
    Str& operator=(StrSlice slice) { return Assign(slice.chars, slice.length); }
    Str& operator=(Str&& other) noexcept {
        if (this != &other) {
            char* old = data;
            data = other.data;
            other.data = Empty();
            FreeText(old);
        }
        return *this;
    }

    // Frees the text and leaves data null: the Str may then only be destroyed
    // or assigned.
    void Release() {
        FreeText(data);
        data = nullptr;
    }

    unsigned Length() const { return static_cast<unsigned>(strlen(data)); }

    // In place: every byte equal to from, up to the terminator the text had
    // when the call began, becomes to (to may be NUL).
    void ReplaceChar(char from, char to);
    // Replaces every occurrence of pattern, left to right and not overlapping;
    // the search resumes after each match, never inside the replacement.
    // Without an occurrence, or with an empty pattern, the text is left as it
    // is and nothing is allocated. Either may point into this text.
    void ReplaceAll(const char* pattern, const char* replacement);
    // The first n bytes, or the whole text when n exceeds its length.
    Str Left(unsigned n) const { return Str(StrSlice(data, 0, n)); }
    // The last n bytes when n <= length, else the empty text (the start
    // length - n wraps in unsigned arithmetic and is clamped to the end).
    Str Right(unsigned n) const;

    static char* Empty() { return const_cast<char*>(EmptyText); }

private:
    static char* NewText(const char* chars, unsigned length) {
        if (length == 0) return Empty();
        if (length + 1 == 0) return TooLong();
        char* text = static_cast<char*>(HeapAllocate(length + 1));
        if (!text) return Empty();  // the raise of a refused allocation came back
        memcpy(text, chars, length);
        text[length] = '\0';
        return text;
    }
    // A length whose size does not fit 32 bits: raises "Not enough memory";
    // should the raise return, the result is the empty text.
    static char* TooLong();
    Str& Assign(const char* chars, unsigned length) {
        char* old = data;
        data = NewText(chars, length);
        FreeText(old);
        return *this;
    }
};

inline StrSlice::StrSlice(const Str& text) : StrSlice(text.data) {}

inline StrSlice::StrSlice(const char* text, unsigned start, unsigned end) {
    unsigned n = static_cast<unsigned>(strlen(text));
    if (start >= n) start = n;
    if (end > n)
        end = n;
    else if (end < start)
        end = start;
    length = end - start;
    chars = text + start;
}

inline Str Str::Right(unsigned n) const {
    unsigned length = Length();
    return Str(StrSlice(data, length - n, length));
}

// A new Str copied from text; the argument is destroyed on return.
inline Str PassThrough(Str text) { return Str(text.data); }

// Lower-cases s in place with the C library's tolower (the "C" locale: only
// A-Z change) and returns a read-only holder pointing at s's buffer. The
// holder owns nothing, is overwritten by the next call and is valid only
// while s lives: copy it at once.
const Str& LowerCase(Str& s);

// Where a text would be converted to and from the system's character type;
// narrow texts pass unchanged.
inline const char* ToSystemText(const char* text) { return text; }
inline const char* FromSystemText(const char* text) { return text; }

// The one formatting buffer of the library, reused by every formatting call;
// arguments must not point into it.
const unsigned FormatBufferSize = 200000;
extern char FormatBuffer[FormatBufferSize];

// printf-style formatting into FormatBuffer, then a new Str of it. A text of
// FormatBufferSize bytes or more is cut to its first FormatBufferSize - 1
// bytes: the buffer's last byte always stays the terminator.
Str FormatStr(const char* format, ...);
Str FormatStrV(const char* format, va_list arguments);
// The same formatting left in FormatBuffer, for callers that use the text
// at once without keeping it.
void FormatIntoBuffer(const char* format, va_list arguments);

// The bytes of a followed by those of b (a NUL among them ends the text).
Str Concat(StrSlice a, StrSlice b);
// text without its leading and trailing blanks (0x20 only: tabs stay).
Str TrimSpaces(const char* text);

// A growable text: storage holds capacity bytes, the text always terminated
// at end. Growth gives needed * 3 / 2 bytes, capped at 0xFFFFFEFF.
struct StrBuilder {
    char* storage;
    unsigned capacity;
    char* end;

    // Without storage until the first Append (the scratch buffer's start).
    StrBuilder() : storage(nullptr), capacity(0), end(nullptr) {}
    // Room for n characters: n + 1 bytes holding the empty text. n of
    // 0xFFFFFEFF or more raises "Not enough memory"; should the raise return,
    // the builder has no storage.
    explicit StrBuilder(unsigned n);
    ~StrBuilder() { FreeText(storage); }
    StrBuilder(const StrBuilder&) = delete;
    StrBuilder& operator=(const StrBuilder&) = delete;

    unsigned Length() const { return static_cast<unsigned>(end - storage); }

    // Appends count bytes; they may lie inside this builder's own text. A
    // text that would need more than 0xFFFFFEFF bytes raises "Not enough
    // memory" and, should the raise return, is not appended.
    void Append(const char* bytes, unsigned count) {
        if (count >= capacity - Length()) {
            AppendGrowing(bytes, count);
            return;
        }
        memcpy(end, bytes, count);
        end += count;
        *end = '\0';
    }
    void Append(const char* text) { Append(text, static_cast<unsigned>(strlen(text))); }
    // Formats through FormatBuffer (cut as FormatStr cuts) and appends.
    void AppendFormat(const char* format, ...);
    void AppendFormatV(const char* format, va_list arguments);

private:
    void AppendGrowing(const char* bytes, unsigned count);
};

// Replaces the scratch buffer by one with room for n characters (n + 1
// writable bytes, the first NUL) and returns it, for system calls that write
// a text into a caller's buffer. The previous scratch text is freed. A
// refused allocation raises "Not enough memory"; should the raise return, the
// result is null and the previous scratch text stays.
char* ScratchBuffer(unsigned n);
// A new Str copied from the scratch buffer; ScratchBuffer must come first.
Str ScratchString();
