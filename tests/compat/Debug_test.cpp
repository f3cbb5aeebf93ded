// Structured exceptions through vectored handlers, the debugger query and the
// tick counter, as the error framework uses them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

const DWORD kTestCode = 0x20000042;  // customer bit set: no system code

struct Seen {
    std::string handler;
    DWORD code;
    DWORD flags;
    DWORD parameterCount;
    std::vector<ULONG_PTR> parameters;
};
std::vector<Seen> seen;
bool secondContinues;

void Record(const char* handler, PEXCEPTION_POINTERS pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    Seen entry{handler, record.ExceptionCode, record.ExceptionFlags, record.NumberParameters, {}};
    for (DWORD i = 0; i < record.NumberParameters && i < EXCEPTION_MAXIMUM_PARAMETERS; ++i)
        entry.parameters.push_back(record.ExceptionInformation[i]);
    seen.push_back(entry);
}

LONG CALLBACK First(PEXCEPTION_POINTERS pointers) {
    if (pointers->ExceptionRecord->ExceptionCode != kTestCode) return EXCEPTION_CONTINUE_SEARCH;
    Record("first", pointers);
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG CALLBACK Second(PEXCEPTION_POINTERS pointers) {
    if (pointers->ExceptionRecord->ExceptionCode != kTestCode) return EXCEPTION_CONTINUE_SEARCH;
    Record("second", pointers);
    return secondContinues ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}

LONG CALLBACK Last(PEXCEPTION_POINTERS pointers) {
    if (pointers->ExceptionRecord->ExceptionCode != kTestCode) return EXCEPTION_CONTINUE_SEARCH;
    Record("last", pointers);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(VectoredHandlers, RunInOrderUntilOneContinues) {
    seen.clear();
    // Added last, then first twice: each "first" goes in front of the others.
    PVOID last = AddVectoredExceptionHandler(0, Last);
    PVOID second = AddVectoredExceptionHandler(1, Second);
    PVOID first = AddVectoredExceptionHandler(1, First);
    ASSERT_TRUE(last && second && first);

    const ULONG_PTR parameters[] = {7, 8};
    secondContinues = true;
    RaiseException(kTestCode, 0, 2, parameters);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].handler, "first");
    EXPECT_EQ(seen[1].handler, "second");
    EXPECT_EQ(seen[1].code, kTestCode);
    EXPECT_EQ(seen[1].flags, 0u);
    EXPECT_EQ(seen[1].parameterCount, 2u);
    EXPECT_EQ(seen[1].parameters, (std::vector<ULONG_PTR>{7, 8}));

    seen.clear();
    secondContinues = false;
    RaiseException(kTestCode, 0, 0, nullptr);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].handler, "last");
    EXPECT_EQ(seen[2].parameterCount, 0u);

    EXPECT_NE(RemoveVectoredExceptionHandler(second), 0u);
    EXPECT_EQ(RemoveVectoredExceptionHandler(second), 0u);  // already gone
    seen.clear();
    RaiseException(kTestCode, 0, 0, nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].handler, "first");
    EXPECT_EQ(seen[1].handler, "last");
    RemoveVectoredExceptionHandler(first);
    RemoveVectoredExceptionHandler(last);
}

TEST(VectoredHandlers, SeeAtMostTheParametersARecordHolds) {
    seen.clear();
    PVOID handler = AddVectoredExceptionHandler(1, Last);
    ULONG_PTR parameters[EXCEPTION_MAXIMUM_PARAMETERS + 5];
    for (ULONG_PTR i = 0; i < EXCEPTION_MAXIMUM_PARAMETERS + 5; ++i) parameters[i] = 100 + i;
    RaiseException(kTestCode, 0, EXCEPTION_MAXIMUM_PARAMETERS + 5, parameters);
    RemoveVectoredExceptionHandler(handler);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].parameterCount, static_cast<DWORD>(EXCEPTION_MAXIMUM_PARAMETERS));
    EXPECT_EQ(seen[0].parameters.back(), 100u + EXCEPTION_MAXIMUM_PARAMETERS - 1);
}

TEST(Debugging, TheTickCounterCountsMilliseconds) {
    DWORD before = GetTickCount();
    Sleep(200);
    DWORD spent = GetTickCount() - before;
    EXPECT_GE(spent, 150u);
    EXPECT_LT(spent, 5000u);
}

TEST(Debugging, NoDebuggerWatchesTheTests) {
    // The tests are not run under a debugger; the error framework then never
    // breaks into one.
    EXPECT_FALSE(IsDebuggerPresent());
}

}  // namespace
