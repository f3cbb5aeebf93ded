#include "gen/Slice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Raises.h"

namespace {

std::string Text(StrSlice s) { return std::string(s.chars, s.length); }

TEST(SliceViews, SliceToStrClampsToTheView) {
    // The view "bcd" inside "abcdef": clamping must never reach 'e'.
    StrSlice view("abcdef", 1, 4);
    const struct {
        unsigned start, end;
        const char* expected;
    } cases[] = {{0, 3, "bcd"}, {1, 2, "c"}, {0, 9, "bcd"}, {2, 2, ""},
                 {3, 1, ""},    {7, 9, ""},  {2, 0xFFFFFFFFu, "d"}};
    for (const auto& c : cases)
        EXPECT_STREQ(SliceToStr(view, c.start, c.end).data, c.expected) << c.start << " " << c.end;
}

TEST(SliceViews, SliceEquals) {
    EXPECT_TRUE(SliceEquals(StrSlice("abcd", 0, 2), "ab"));
    EXPECT_TRUE(SliceEquals(StrSlice("xab", 1, 3), StrSlice("ab")));
    EXPECT_FALSE(SliceEquals(StrSlice("abcd", 0, 2), "abc"));  // a prefix is not equal
    EXPECT_FALSE(SliceEquals(StrSlice("abc"), "ab"));
    EXPECT_FALSE(SliceEquals(StrSlice("abd"), "abc"));
    EXPECT_TRUE(SliceEquals(StrSlice(), ""));
    // strncmp stops at a NUL both hold at the same place.
    EXPECT_TRUE(SliceEquals(StrSlice(3, "a\0x"), StrSlice(3, "a\0y")));
    EXPECT_FALSE(SliceEquals(StrSlice(3, "a\0x"), StrSlice(3, "abx")));
}

TEST(SliceViews, BeforeAfterBetween) {
    const char* text = "name=value";
    StrSlice whole(text);
    StrSlice name(text, 0, 4);
    StrSlice sign(text, 4, 5);
    StrSlice value(text, 5, 10);
    EXPECT_EQ(Text(SliceBefore(whole, sign)), "name");
    EXPECT_EQ(SliceBefore(whole, sign).chars, text);
    EXPECT_EQ(Text(SliceAfter(whole, sign)), "value");
    EXPECT_EQ(SliceAfter(whole, sign).chars, text + 5);
    EXPECT_EQ(Text(SliceBetween(name, value)), "=");
    EXPECT_EQ(SliceBetween(name, sign).length, 0u);
    EXPECT_EQ(SliceAfter(whole, value).length, 0u);
    EXPECT_EQ(SliceAfter(whole, value).chars, text + 10);
}

std::vector<std::string> Walk(StrSlice view, char delimiter) {
    std::vector<std::string> tokens;
    for (StrTokenizer t(view, delimiter); t.HasToken(); t.Advance()) tokens.push_back(Text(t.Token()));
    return tokens;
}

TEST(SliceTokenizer, WalksABarredText) {
    const char* text = "a|b||c";
    StrTokenizer t(StrSlice(text), '|');
    const char* limit = text + 6;
    EXPECT_EQ(t.limit, limit);
    const struct {
        unsigned start, end;
    } steps[] = {{0, 1}, {2, 3}, {4, 4}, {5, 6}};
    for (const auto& step : steps) {
        ASSERT_TRUE(t.HasToken());
        EXPECT_EQ(t.start, text + step.start);
        EXPECT_EQ(t.end, text + step.end);
        t.Advance();
    }
    EXPECT_FALSE(t.HasToken());
    EXPECT_EQ(t.start, limit + 1);
    EXPECT_EQ(t.end, limit);
}

TEST(SliceTokenizer, EdgeShapes) {
    using Tokens = std::vector<std::string>;
    EXPECT_EQ(Walk(StrSlice(""), '|'), Tokens({""}));
    EXPECT_EQ(Walk(StrSlice("abc"), '|'), Tokens({"abc"}));
    EXPECT_EQ(Walk(StrSlice("a|"), '|'), Tokens({"a", ""}));
    EXPECT_EQ(Walk(StrSlice("|"), '|'), Tokens({"", ""}));
    // A view inside a longer text: the delimiter after the view is not used.
    EXPECT_EQ(Walk(StrSlice("a|b|c", 0, 3), '|'), Tokens({"a", "b"}));
    EXPECT_EQ(Walk(StrSlice("a|b|c", 0, 2), '|'), Tokens({"a", ""}));
}

TEST(SliceTokenizer, FindAnotherDelimiterAndTheRest) {
    const char* text = "S|key=v|w";
    StrTokenizer t(StrSlice(text), '|');
    EXPECT_EQ(Text(t.Token()), "S");
    t.Advance();
    EXPECT_EQ(Text(t.Token()), "key=v");
    t.Find('=');
    EXPECT_EQ(Text(t.Token()), "key");
    t.Advance();  // the '=' found is used again
    EXPECT_EQ(Text(t.Token()), "v|w");
    t.Find('\0');
    EXPECT_EQ(Text(t.Token()), "v|w");
    EXPECT_EQ(t.end, t.limit);
}

std::vector<std::string> Texts(const TypedBlock<StrSlice>& views) {
    std::vector<std::string> texts;
    for (const StrSlice& view : views) texts.push_back(Text(view));
    return texts;
}

TEST(SliceSplit, GivesAnExactBlockOfViewsIntoTheText) {
    const char* text = "a|b||c";
    using Tokens = std::vector<std::string>;
    for (unsigned reserve : {0u, 1u, 4u, 10u}) {
        StrTokenizer t(StrSlice(text), '|');
        TypedBlock<StrSlice> views = t.Split(reserve);
        EXPECT_EQ(Texts(views), Tokens({"a", "b", "", "c"})) << reserve;
        EXPECT_EQ(views.raw.Size(), 4 * sizeof(StrSlice)) << reserve;
        ASSERT_EQ(views.Count(), 4u);
        EXPECT_EQ(views[2].chars, text + 4);
        EXPECT_EQ(views[3].chars, text + 5);
        EXPECT_FALSE(t.HasToken());
    }
}

TEST(SliceSplit, StartsAtTheCurrentToken) {
    using Tokens = std::vector<std::string>;
    StrTokenizer t(StrSlice("skip,x,y"), ',');
    t.Advance();
    EXPECT_EQ(Texts(t.Split(2)), Tokens({"x", "y"}));
    StrTokenizer empty(StrSlice(), ',');
    EXPECT_EQ(Texts(empty.Split(0)), Tokens({""}));
    StrTokenizer done(StrSlice("z"), ',');
    done.Advance();
    TypedBlock<StrSlice> none = done.Split(3);
    EXPECT_EQ(none.Count(), 0u);
}

TEST(SliceSplit, RefusedStorageRaises) {
    RaiseCatcher catcher;
    StrTokenizer t(StrSlice("a|b"), '|');
    FailNextAllocationForTesting();
    EXPECT_EQ(RaiseOf([&] { t.Split(2); }).identity, NotEnoughMemory);
}

struct Record {
    const char* name;
    int value;
    const char* Name() const {
        ++calls;
        return name;
    }
    static int calls;
};
int Record::calls = 0;

TEST(SliceFindByKey, FindsTheFirstRecordWithTheKey) {
    Record records[] = {{"a", 1}, {"b", 2}, {"b", 3}, {"c", 4}};
    Record* end = records + 4;
    EXPECT_EQ(FindByKey(records, end, sizeof(Record), &Record::Name, "b"), &records[1]);
    EXPECT_EQ(FindByKey(records, end, sizeof(Record), &Record::Name, "c"), &records[3]);
    EXPECT_EQ(FindByKey(records, end, sizeof(Record), &Record::Name, "B"), nullptr);
    EXPECT_EQ(FindByKey(records, end, sizeof(Record), &Record::Name, ""), nullptr);
    // Every second record only.
    EXPECT_EQ(FindByKey(records, end, 2 * sizeof(Record), &Record::Name, "b"), &records[2]);
    ByteRange range{reinterpret_cast<char*>(records), reinterpret_cast<char*>(end)};
    EXPECT_EQ(FindByKey(range, sizeof(Record), &Record::Name, "c"), &records[3]);
    const Record* constRecords = records;
    EXPECT_EQ(FindByKey(constRecords, constRecords + 4, sizeof(Record), &Record::Name, "a"), constRecords);
}

TEST(SliceFindByKey, EmptyRangeCallsNoAccessor) {
    Record records[] = {{"a", 1}};
    Record::calls = 0;
    EXPECT_EQ(FindByKey(records, records, sizeof(Record), &Record::Name, "a"), nullptr);
    EXPECT_EQ(Record::calls, 0);
    EXPECT_EQ(FindByKey(records, records + 1, sizeof(Record), &Record::Name, "z"), nullptr);
    EXPECT_EQ(Record::calls, 1);
}

}  // namespace
