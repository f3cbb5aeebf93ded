// The bounded text functions: cut, always terminated, never past the size
// given. Under Windows these are the SDK's own.
#define STRSAFE_NO_DEPRECATE
#include <windows.h>
#include <strsafe.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A destination of `capacity` characters inside a larger buffer, to see that
// nothing lands past it.
struct Destination {
    explicit Destination(size_t capacity, const char* initial = "") : capacity(capacity) {
        memset(buffer, '#', sizeof buffer);
        memcpy(buffer, initial, strlen(initial) + 1);
        memcpy(before, buffer, sizeof buffer);
    }
    bool UntouchedPastCapacity() const {
        return memcmp(buffer + capacity, before + capacity, sizeof buffer - capacity) == 0;
    }
    size_t capacity;
    char buffer[32];
    char before[32];
};

struct Case {
    size_t capacity;
    const char* source;
    const char* expected;
    HRESULT result;
};

TEST(StrSafeTest, CopyCutsAndTerminates) {
    const Case cases[] = {
        {10, "abc", "abc", S_OK},
        {4, "abc", "abc", S_OK},
        {3, "abc", "ab", STRSAFE_E_INSUFFICIENT_BUFFER},
        {1, "abc", "", STRSAFE_E_INSUFFICIENT_BUFFER},
        {1, "", "", S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        Destination dest(c.capacity);
        EXPECT_EQ(StringCchCopyA(dest.buffer, c.capacity, c.source), c.result);
        EXPECT_STREQ(dest.buffer, c.expected);
        EXPECT_TRUE(dest.UntouchedPastCapacity());
    }
}

TEST(StrSafeTest, CatAppendsCutsAndTerminates) {
    const Case cases[] = {
        {10, "cd", "abcd", S_OK},
        {5, "cd", "abcd", S_OK},
        {4, "cd", "abc", STRSAFE_E_INSUFFICIENT_BUFFER},
        {3, "cd", "ab", STRSAFE_E_INSUFFICIENT_BUFFER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        Destination dest(c.capacity, "ab");
        EXPECT_EQ(StringCchCatA(dest.buffer, c.capacity, c.source), c.result);
        EXPECT_STREQ(dest.buffer, c.expected);
        EXPECT_TRUE(dest.UntouchedPastCapacity());
    }
}

TEST(StrSafeTest, CatRefusesAnUnterminatedDestination) {
    Destination dest(3, "abcdef");
    EXPECT_EQ(StringCchCatA(dest.buffer, 3, "x"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(std::string(dest.buffer, 3), "abc");
}

TEST(StrSafeTest, PrintfCutsAndTerminates) {
    const Case cases[] = {
        {10, nullptr, "ab-12", S_OK},
        {6, nullptr, "ab-12", S_OK},
        {5, nullptr, "ab-1", STRSAFE_E_INSUFFICIENT_BUFFER},
        {1, nullptr, "", STRSAFE_E_INSUFFICIENT_BUFFER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        Destination dest(c.capacity, "old");
        EXPECT_EQ(StringCchPrintfA(dest.buffer, c.capacity, "%s-%d", "ab", 12), c.result);
        EXPECT_STREQ(dest.buffer, c.expected);
        EXPECT_TRUE(dest.UntouchedPastCapacity());
    }
}

TEST(StrSafeTest, NoRoomAtAllIsAnInvalidParameter) {
    char untouched[4] = "abc";
    EXPECT_EQ(StringCchCopyA(untouched, 0, "x"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(StringCchCatA(untouched, 0, "x"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(StringCchPrintfA(untouched, 0, "%s", "x"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_STREQ(untouched, "abc");
}

}  // namespace
