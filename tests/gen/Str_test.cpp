#include "gen/Str.h"

#include <gtest/gtest.h>

#include <string>

#include "Raises.h"

namespace {

std::string Bytes(const char* chars, unsigned length) { return std::string(chars, length); }

TEST(StrEmpty, EveryEmptyTextIsTheSharedOne) {
    Str fromText("");
    Str fromSlice(StrSlice(0, "abc"));
    Str byDefault;
    Str cut = Str("abc").Left(0);
    Str beyond = Str("abc").Right(5);
    Str trimmed = TrimSpaces("   ");
    Str joined = Concat("", "");
    Str formatted = FormatStr("%s", "");
    Str assigned("abc");
    assigned = "";
    for (const Str* s : {&fromText, &fromSlice, &byDefault, &cut, &beyond, &trimmed, &joined,
                         &formatted, &assigned})
        EXPECT_EQ(s->data, EmptyText);
    EXPECT_EQ(EmptyText[0], '\0');
}

TEST(StrEmpty, FreeingNothingIsHarmless) {
    FreeText(nullptr);
    FreeText(EmptyText);
    Str released("abc");
    released.Release();
    EXPECT_EQ(released.data, nullptr);
    FreeText(released.data);
    released = "again";  // a released Str may be assigned, then destroyed
    EXPECT_STREQ(released.data, "again");
    Str empty;
    empty.Release();
    EXPECT_EQ(EmptyText[0], '\0');
}

TEST(StrConstruct, SliceCopiesAllBytesAndStopsVisiblyAtNul) {
    Str s(StrSlice(5, "ab\0cd"));
    EXPECT_STREQ(s.data, "ab");
    EXPECT_EQ(Bytes(s.data, 6), std::string("ab\0cd\0", 6));
}

TEST(StrConstruct, CopiesAreDeepAndMovesLeaveTheEmptyText) {
    Str a("text");
    Str b(a);
    EXPECT_NE(a.data, b.data);
    EXPECT_STREQ(b.data, "text");
    Str c(static_cast<Str&&>(a));
    EXPECT_EQ(a.data, EmptyText);
    EXPECT_STREQ(c.data, "text");
    b = static_cast<Str&&>(c);
    EXPECT_EQ(c.data, EmptyText);
    EXPECT_STREQ(b.data, "text");
    b = static_cast<Str&&>(b);
    EXPECT_STREQ(b.data, "text");
    Str passed = PassThrough(Str("through"));
    EXPECT_STREQ(passed.data, "through");
}

// The source lies inside the target: the copy must be made before the old
// text is freed (AddressSanitizer reports the read otherwise).
TEST(StrAssign, FromInsideItself) {
    Str s("  hello  ");
    s = s.data + 2;
    EXPECT_STREQ(s.data, "hello  ");
    s = StrSlice(s.data, 1, 3);
    EXPECT_STREQ(s.data, "el");
    s = s;
    EXPECT_STREQ(s.data, "el");
}

struct SliceCase {
    const char* text;
    unsigned start, end;
    unsigned offset;  // of chars from text
    const char* expected;
};

TEST(StrSliceConstruct, PositionsAreClampedToTheText) {
    const SliceCase cases[] = {
        {"abc", 0, 2, 0, "ab"}, {"abc", 1, 99, 1, "bc"}, {"abc", 1, 1, 1, ""},
        {"abc", 2, 1, 2, ""},   {"abc", 5, 9, 3, ""},    {"abc", 4, 1, 3, ""},
        {"", 0, 0, 0, ""},      {"abc", 0, 0xFFFFFFFFu, 0, "abc"},
    };
    for (const SliceCase& c : cases) {
        StrSlice s(c.text, c.start, c.end);
        EXPECT_EQ(s.chars, c.text + c.offset) << c.text << " " << c.start << " " << c.end;
        EXPECT_EQ(Bytes(s.chars, s.length), c.expected) << c.text << " " << c.start << " " << c.end;
    }
}

TEST(StrOperations, LeftAndRight) {
    Str abc("abc");
    const struct {
        unsigned n;
        const char* left;
        const char* right;
    } cases[] = {{0, "", ""}, {2, "ab", "bc"}, {3, "abc", "abc"}, {5, "abc", ""}, {0xFFFFFFFFu, "abc", ""}};
    for (const auto& c : cases) {
        EXPECT_STREQ(abc.Left(c.n).data, c.left) << c.n;
        EXPECT_STREQ(abc.Right(c.n).data, c.right) << c.n;
    }
}

TEST(StrOperations, ReplaceCharGoesOnPastBytesMadeNul) {
    Str s("a.b.c");
    s.ReplaceChar('.', '\0');
    EXPECT_EQ(Bytes(s.data, 6), std::string("a\0b\0c\0", 6));
    Str t("aXbX");
    t.ReplaceChar('X', 'y');
    EXPECT_STREQ(t.data, "ayby");
}

TEST(StrOperations, ReplaceAll) {
    const struct {
        const char* text;
        const char* pattern;
        const char* replacement;
        const char* expected;
    } cases[] = {
        {"aaa", "aa", "b", "ba"},
        {"abcabc", "b", "xyz", "axyzcaxyzc"},
        {"aXbX", "X", "", "ab"},
        {"a", "a", "aa", "aa"},  // the replacement is not searched again
        {"%s and %s", "%s", "%%s", "%%s and %%s"},
        {"abc", "abc", "", ""},
        {"xabcx", "abc", "-", "x-x"},
    };
    for (const auto& c : cases) {
        Str s(c.text);
        s.ReplaceAll(c.pattern, c.replacement);
        EXPECT_STREQ(s.data, c.expected) << c.text << " " << c.pattern << " " << c.replacement;
    }
}

TEST(StrOperations, ReplaceAllWithoutAMatchKeepsTheBuffer) {
    Str s("abc");
    char* before = s.data;
    s.ReplaceAll("z", "q");
    EXPECT_EQ(s.data, before);
    s.ReplaceAll("", "q");  // an empty pattern leaves the text as it is
    EXPECT_EQ(s.data, before);
    EXPECT_STREQ(s.data, "abc");
    Str empty;
    empty.ReplaceAll("a", "b");
    EXPECT_EQ(empty.data, EmptyText);
    Str gone("aa");
    gone.ReplaceAll("a", "");
    EXPECT_EQ(gone.data, EmptyText);
}

// More matches than the counting pass remembers.
TEST(StrOperations, ReplaceAllOfManyMatches) {
    std::string text, expected;
    for (int i = 0; i < 300; ++i) {
        text += "x%s";
        expected += "x<_>";
    }
    text += "%";
    expected += "%";
    Str s(text.c_str());
    s.ReplaceAll("%s", "<_>");
    EXPECT_EQ(s.data, expected);
}

TEST(StrOperations, ReplaceAllWithArgumentsInsideTheText) {
    Str s("ab-ab");
    s.ReplaceAll(s.data + 3, s.data);  // pattern "ab", replacement "ab-ab"
    EXPECT_STREQ(s.data, "ab-ab-ab-ab");
}

TEST(StrOperations, LowerCaseChangesOnlyAsciiLetters) {
    char all[256];
    for (int i = 1; i < 256; ++i) all[i - 1] = static_cast<char>(i);
    all[255] = '\0';
    Str s(all);
    const Str& holder = LowerCase(s);
    EXPECT_EQ(holder.data, s.data);
    for (int i = 1; i < 256; ++i) {
        int expected = i >= 'A' && i <= 'Z' ? i + ('a' - 'A') : i;
        EXPECT_EQ(static_cast<unsigned char>(s.data[i - 1]), expected) << i;
    }
    Str other("XY");
    EXPECT_STREQ(LowerCase(other).data, "xy");
    EXPECT_EQ(holder.data, other.data);  // the holder is shared and overwritten
}

TEST(StrOperations, TrimSpacesRemovesOnlyBlanks) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {{"  ab  ", "ab"}, {"ab", "ab"}, {"   ", ""}, {"", ""},
                 {"\tab ", "\tab"}, {" a b ", "a b"}, {"ab\t ", "ab\t"}};
    for (const auto& c : cases) EXPECT_STREQ(TrimSpaces(c.text).data, c.expected) << c.text;
}

TEST(StrOperations, Concat) {
    EXPECT_STREQ(Concat("ab", "cd").data, "abcd");
    EXPECT_STREQ(Concat("", "cd").data, "cd");
    EXPECT_STREQ(Concat(StrSlice("abc", 1, 2), StrSlice(0, nullptr)).data, "b");
    Str s("xy");
    EXPECT_STREQ(Concat(s, s).data, "xyxy");
    // A NUL among the bytes ends the text.
    EXPECT_STREQ(Concat(StrSlice(3, "a\0b"), "cd").data, "a");
}

TEST(StrFormat, FormatsIntoANewText) {
    Str s = FormatStr("%d-%s-%c", -12, "x", 'z');
    EXPECT_STREQ(s.data, "-12-x-z");
    EXPECT_NE(s.data, FormatBuffer);
    Str again = FormatStr("%05u", 42u);
    EXPECT_STREQ(again.data, "00042");
    EXPECT_STREQ(s.data, "-12-x-z");  // the buffer's reuse leaves results alone
}

// The buffer holds FormatBufferSize - 1 characters and the terminator; a
// longer text is cut there, never written past the buffer.
TEST(StrFormat, TextsThatDoNotFitAreCut) {
    const unsigned fits = FormatBufferSize - 1;
    const struct {
        unsigned width;
        unsigned expected;
    } cases[] = {{fits - 1, fits - 1}, {fits, fits}, {fits + 1, fits}, {FormatBufferSize * 2, fits}};
    for (const auto& c : cases) {
        Str s = FormatStr("%*s", static_cast<int>(c.width), "x");
        ASSERT_EQ(s.Length(), c.expected) << c.width;
        EXPECT_EQ(s.data[c.expected - 1], c.expected == c.width ? 'x' : ' ') << c.width;
        EXPECT_EQ(FormatBuffer[FormatBufferSize - 1], '\0');
    }
    StrBuilder b(0);
    b.AppendFormat("%*s", static_cast<int>(FormatBufferSize + 10), "y");
    EXPECT_EQ(b.Length(), fits);
    EXPECT_EQ(strlen(b.storage), fits);
}

TEST(StrBuilderGrowth, GrowsToHalfAgainOfWhatIsNeeded) {
    StrBuilder b(0);
    EXPECT_EQ(b.capacity, 1u);
    EXPECT_EQ(b.end, b.storage);
    EXPECT_STREQ(b.storage, "");
    b.Append("0123456789", 10);
    EXPECT_EQ(b.capacity, 16u);  // needed 11, times 3, halved
    EXPECT_EQ(b.Length(), 10u);
    b.Append("abcd");  // needs 15 of 16: no growth
    EXPECT_EQ(b.capacity, 16u);
    b.Append("e");  // needs 16 of 16
    EXPECT_EQ(b.capacity, 16u);
    b.Append("f");  // needs 17
    EXPECT_EQ(b.capacity, 25u);
    EXPECT_STREQ(b.storage, "0123456789abcdef");
    EXPECT_EQ(b.end, b.storage + 16);
}

TEST(StrBuilderGrowth, AppendsOfItsOwnTextSurviveGrowth) {
    StrBuilder b(2);
    b.Append("ab");
    for (int i = 0; i < 6; ++i) b.Append(b.storage, b.Length());
    EXPECT_EQ(b.Length(), 128u);
    for (unsigned i = 0; i < b.Length(); ++i) ASSERT_EQ(b.storage[i], "ab"[i % 2]) << i;
    EXPECT_EQ(b.storage[128], '\0');
}

TEST(StrBuilderGrowth, AppendFormatAndEmptyAppends) {
    StrBuilder b(4);
    b.Append("", 0);
    b.AppendFormat("%d+%d", 1, 2);
    b.Append("=3");
    EXPECT_STREQ(b.storage, "1+2=3");
    EXPECT_EQ(b.end, b.storage + 5);
}

TEST(StrScratch, GivesRoomForNCharactersAndCopiesOut) {
    char* first = ScratchBuffer(8);
    EXPECT_EQ(first[0], '\0');
    memcpy(first, "12345678", 9);  // n + 1 writable bytes
    EXPECT_STREQ(ScratchString().data, "12345678");
    char* second = ScratchBuffer(0);
    EXPECT_EQ(second[0], '\0');
    Str copied = ScratchString();
    EXPECT_EQ(copied.data, EmptyText);
}

// Allocation refused by the heap: every raise throws while the fixture lives.
class StrRefused : public ::testing::Test {
protected:
    RaiseCatcher catcher;
};

// An armed refusal survives every operation on empty texts: none of them
// asks the heap for anything.
TEST_F(StrRefused, EmptyTextsCostNoAllocation) {
    FailNextAllocationForTesting();
    Str empty("");
    Str fromSlice(StrSlice(0, "abc"));
    Str copy(empty);
    Str target("");
    target = empty;
    target = StrSlice("abc", 3, 3);
    Str left = Str().Left(4);
    Str trimmed = TrimSpaces("  ");
    Str joined = Concat("", StrSlice());
    Str formatted = FormatStr("%s", "");
    target.ReplaceAll("a", "b");
    EXPECT_EQ(target.data, EmptyText);
    Raised raised = RaiseOf([] { Str s("x"); });
    EXPECT_EQ(raised.identity, NotEnoughMemory);
}

TEST_F(StrRefused, AssignmentKeepsItsTarget) {
    Str target("old");
    char* before = target.data;
    Str source("new text");
    FailNextAllocationForTesting();
    EXPECT_EQ(RaiseOf([&] { target = source; }).identity, NotEnoughMemory);
    FailNextAllocationForTesting();
    EXPECT_EQ(RaiseOf([&] { target = "new"; }).identity, NotEnoughMemory);
    FailNextAllocationForTesting();
    EXPECT_EQ(RaiseOf([&] { target = StrSlice("new", 0, 2); }).identity, NotEnoughMemory);
    EXPECT_EQ(target.data, before);
    EXPECT_STREQ(target.data, "old");
}

TEST_F(StrRefused, OperationsKeepTheirObject) {
    Str text("a-b");
    char* before = text.data;
    FailNextAllocationForTesting();
    EXPECT_EQ(RaiseOf([&] { text.ReplaceAll("-", "+"); }).identity, NotEnoughMemory);
    EXPECT_EQ(text.data, before);
    EXPECT_STREQ(text.data, "a-b");

    StrBuilder builder(2);
    builder.Append("ab");
    char* storage = builder.storage;
    FailNextAllocationForTesting();
    EXPECT_EQ(RaiseOf([&] { builder.Append("cd"); }).identity, NotEnoughMemory);
    EXPECT_EQ(builder.storage, storage);
    EXPECT_EQ(builder.capacity, 3u);
    EXPECT_EQ(builder.end, storage + 2);
    EXPECT_STREQ(builder.storage, "ab");

    char* scratch = ScratchBuffer(4);
    memcpy(scratch, "keep", 5);
    FailNextAllocationForTesting();
    EXPECT_EQ(RaiseOf([] { ScratchBuffer(8); }).identity, NotEnoughMemory);
    EXPECT_STREQ(ScratchString().data, "keep");
}

// Sizes beyond 32 bits raise before any byte is read or written: the bytes
// pointer below has only 4 readable bytes.
TEST_F(StrRefused, SizesBeyondThirtyTwoBitsRaise) {
    const char* small = "abc";
    StrBuilder builder(0);
    EXPECT_EQ(RaiseOf([&] { builder.Append(small, 0xFFFFFFFFu); }).identity, NotEnoughMemory);
    EXPECT_EQ(builder.Length(), 0u);
    EXPECT_EQ(RaiseOf([&] { builder.Append(small, 0xFFFFFEFFu); }).identity, NotEnoughMemory);
    EXPECT_EQ(RaiseOf([&] { Str s(StrSlice(0xFFFFFFFFu, small)); }).identity, NotEnoughMemory);
    StrSlice huge(0x80000000u, small);
    EXPECT_EQ(RaiseOf([&] { Concat(huge, huge); }).identity, NotEnoughMemory);
    EXPECT_EQ(RaiseOf([] { StrBuilder b(0xFFFFFFFFu); }).identity, NotEnoughMemory);
}

// A raise that comes back (a developer continued in the debugger): the
// operations end without writing through the missing block.
TEST(StrRaiseReturns, OperationsEndSafely) {
    static int raises;
    raises = 0;
    RaiseHook previous = SetRaiseHookForTesting([](const char*, const char*) {
        ++raises;
        return true;
    });
    FailNextAllocationForTesting();
    Str s("abc");
    EXPECT_EQ(s.data, EmptyText);
    StrBuilder builder(0);
    FailNextAllocationForTesting();
    builder.Append("xyz");
    EXPECT_STREQ(builder.storage, "");
    EXPECT_EQ(builder.capacity, 1u);
    FailNextAllocationForTesting();
    EXPECT_EQ(ScratchBuffer(16), nullptr);
    // Too large to be had at all: no block is handed out as if it held n.
    EXPECT_EQ(ScratchBuffer(0xFFFFFEFFu), nullptr);
    EXPECT_EQ(ScratchBuffer(0xFFFFFFFFu), nullptr);
    StrBuilder huge(0xFFFFFFFFu);
    EXPECT_EQ(huge.storage, nullptr);
    Str text("a-b");
    FailNextAllocationForTesting();
    text.ReplaceAll("-", "+");
    EXPECT_STREQ(text.data, "a-b");
    FailNextAllocationForTesting();
    EXPECT_EQ(Concat("a", "b").data, EmptyText);
    SetRaiseHookForTesting(previous);
    EXPECT_EQ(raises, 8);
}

}  // namespace
