#include "gen/Heap.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "gen/Err.h"
#include "Raises.h"
#include "support/MessageBoxes.h"

namespace {

// Keeps allocations the compiler could otherwise drop as unused.
void* volatile sink;

class HeapTest : public ::testing::Test {
    RaiseCatcher catcher;
};

void ExpectNotEnoughMemory(const Raised& raised) {
    EXPECT_EQ(raised.identity, NotEnoughMemory);
    EXPECT_EQ(raised.text, "Not enough memory");
}

void Fill(unsigned char* bytes, unsigned count) {
    for (unsigned index = 0; index < count; ++index) bytes[index] = static_cast<unsigned char>(index * 7);
}

void ExpectFilled(const unsigned char* bytes, unsigned count) {
    for (unsigned index = 0; index < count; ++index) {
        ASSERT_EQ(bytes[index], static_cast<unsigned char>(index * 7)) << "byte " << index;
    }
}

TEST_F(HeapTest, BlocksKeepTheirContentsWhenResized) {
    auto* block = static_cast<unsigned char*>(HeapAllocate(64));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(HeapExistsForTesting());
    Fill(block, 64);

    block = static_cast<unsigned char*>(HeapReallocate(block, 100000));
    ASSERT_NE(block, nullptr);
    ExpectFilled(block, 64);
    block[99999] = 1;  // the whole new size is usable

    block = static_cast<unsigned char*>(HeapReallocate(block, 10));
    ASSERT_NE(block, nullptr);
    ExpectFilled(block, 10);
    HeapRelease(block);
}

TEST_F(HeapTest, ZeroByteRequestsNeverRaise) {
    HeapReleaseIfSet(HeapAllocate(0));

    // A refused zero-byte request is not a failure either.
    FailNextAllocationForTesting();
    EXPECT_EQ(HeapAllocate(0), nullptr);

    // Shrinking to nothing keeps a (zero-byte) block, as the system does.
    void* block = HeapAllocate(16);
    void* shrunk = HeapReallocate(block, 0);
    EXPECT_NE(shrunk, nullptr);
    HeapReleaseIfSet(shrunk);
    HeapReleaseIfSet(nullptr);
}

TEST_F(HeapTest, TheLargestRequestRaisesNotEnoughMemory) {
    ExpectNotEnoughMemory(RaiseOf([] { HeapAllocate(0xFFFFFFFFu); }));

    auto* block = static_cast<unsigned char*>(HeapAllocate(32));
    Fill(block, 32);
    ExpectNotEnoughMemory(RaiseOf([block] { HeapReallocate(block, 0xFFFFFFFFu); }));
    ExpectFilled(block, 32);
    HeapRelease(block);
}

TEST_F(HeapTest, ARefusedRequestRaisesAndLeavesTheBlockAsItWas) {
    FailNextAllocationForTesting();
    ExpectNotEnoughMemory(RaiseOf([] { HeapAllocate(32); }));

    // The refusal was for one request only.
    auto* block = static_cast<unsigned char*>(HeapAllocate(32));
    ASSERT_NE(block, nullptr);
    Fill(block, 32);
    FailNextAllocationForTesting();
    ExpectNotEnoughMemory(RaiseOf([block] { HeapReallocate(block, 4096); }));
    ExpectFilled(block, 32);
    HeapRelease(block);
}

TEST_F(HeapTest, TheRuntimeAllocatesFromThePrivateHeap) {
    FailNextAllocationForTesting();
    ExpectNotEnoughMemory(RaiseOf([] { sink = new char[3]; }));
    FailNextAllocationForTesting();
    ExpectNotEnoughMemory(RaiseOf([] {
        std::vector<int> values(100);
        sink = values.data();
    }));

    FailNextAllocationForTesting();
    int* refused = new (std::nothrow) int;
    sink = refused;
    EXPECT_EQ(refused, nullptr);

    if constexpr (sizeof(std::size_t) > 4) {
        // Beyond 32 bits is too large, not a small size cut short.
        ExpectNotEnoughMemory(
            RaiseOf([] { sink = ::operator new(static_cast<std::size_t>(0x100000000ull)); }));
    }

    // Objects of every size go back through the same heap.
    std::string text(1000, 'x');
    delete new int(5);
    delete[] new char[0];
    EXPECT_EQ(text.size(), 1000u);
}

// The system's local memory (system error texts come in it) never draws on
// the program's heap: a refusal armed for the heap stays armed through it.
TEST_F(HeapTest, SystemMemoryIsNotThePrivateHeap) {
    FailNextAllocationForTesting();
    HLOCAL local = LocalAlloc(LPTR, 64);
    EXPECT_NE(local, nullptr);
    EXPECT_EQ(LocalFree(local), nullptr);
    // Still armed: a zero-byte request takes the refusal without raising.
    EXPECT_EQ(HeapAllocate(0), nullptr);
}

// The raise entries, observed through the testing seam.
using Raise = std::function<void()>;

void RaiseThroughList(const char* messageTemplate, ...) {
    va_list arguments;
    va_start(arguments, messageTemplate);
    RaiseErrorV(messageTemplate, arguments);
    va_end(arguments);
}

void RaiseIdThroughList(const char* identity, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    RaiseErrorIdV(identity, format, arguments);
    va_end(arguments);
}

const char kCountTemplate[] = "%s holds %d items";
const char kIdentity[] = "an error kind";

TEST_F(HeapTest, RaiseEntriesFormatTheirTextAndNameTheirTemplate) {
    struct Case {
        const char* name;
        Raise raise;
        const char* identity;  // null: the test does not know the internal template
        const char* text;
    };
    const Case cases[] = {
        {"RaiseError", [] { RaiseError(kCountTemplate, "list", 3); }, kCountTemplate,
         "list holds 3 items"},
        {"RaiseErrorF", [] { RaiseErrorF(kCountTemplate, "list", 4); }, kCountTemplate,
         "list holds 4 items"},
        {"RaiseErrorV", [] { RaiseThroughList(kCountTemplate, "list", 5); }, kCountTemplate,
         "list holds 5 items"},
        {"RaiseErrorId", [] { RaiseErrorId(kIdentity, "code %d", 6); }, kIdentity, "code 6"},
        {"RaiseErrorIdV", [] { RaiseIdThroughList(kIdentity, "code %d", 7); }, kIdentity, "code 7"},
        {"AssertFailed", [] { AssertFailed("..\\gen\\Array.cpp", 74); }, nullptr,
         "Internal error. Trap to the debugger?\n\nAssertion failed at '..\\gen\\Array.cpp' line 74\n"},
        {"AssertFailedAt", [] { AssertFailedAt("..\\gen\\Ini.cpp", 9); }, nullptr,
         "Internal error. Trap to the debugger?\n\nAssertion failed at '..\\gen\\Ini.cpp' line 9\n"},
        {"CheckFailed", [] { CheckFailed("..\\gen\\Path.cpp", 12); }, nullptr,
         "Internal error. Trap to the debugger?\n\nCheck failed at '..\\gen\\Path.cpp' line 12\n"},
        {"RaiseProtectionFault", [] { RaiseProtectionFault("Access violation", 0xBEEFu); }, nullptr,
         "Internal error. Trap to the debugger?\n\nGeneral Protection Fault 'Access violation' "
         "occured at 0x0000BEEF\n"},
        {"NotImplemented", [] { NotImplemented("..\\gen\\Url.cpp", 3); }, nullptr,
         "Internal error. Trap to the debugger?\n\nAttempt to use non implemented feature\nat "
         "'..\\gen\\Url.cpp' line 3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Raised raised = RaiseOf(c.raise);
        EXPECT_EQ(raised.text, c.text);
        if (c.identity) {
            EXPECT_EQ(raised.identity, c.identity);
        }
    }
    // Assertions share their template, whatever the place.
    EXPECT_EQ(RaiseOf(cases[5].raise).identity, RaiseOf(cases[6].raise).identity);
    EXPECT_NE(RaiseOf(cases[5].raise).identity, RaiseOf(cases[7].raise).identity);
}

TEST_F(HeapTest, ALongMessageIsCutInsideItsBuffer) {
    std::string longText(FormatBufferSize + 100000, 'a');
    Raised raised = RaiseOf([&longText] { RaiseError("%s!", longText.c_str()); });
    EXPECT_GT(raised.text.size(), 1000u);
    EXPECT_LT(raised.text.size(), longText.size());
    EXPECT_EQ(raised.text.find_first_not_of('a'), std::string::npos);
}

// Whole processes. This test program, started again with GEN_HEAP_PROBE set,
// runs the named probe before any of its static objects is constructed, so
// nothing has allocated yet; the probe ends the process.
const char kProbeVariable[] = "GEN_HEAP_PROBE";
const int kProbeHeapExisted = 20;  // the probe did not start fresh
const int kProbeHeapAbsentAtRaise = 21;
const int kProbeHeapPresentAtRaise = 22;
const int kProbeRaiseReturned = 23;

bool ExitWithHeapState(const char*, const char*) {
    std::_Exit(HeapExistsForTesting() ? kProbeHeapPresentAtRaise : kProbeHeapAbsentAtRaise);
}

__attribute__((constructor(101))) void RunHeapProbe() {
    const char* probe = getenv(kProbeVariable);
    if (!probe) return;
    if (HeapExistsForTesting()) std::_Exit(kProbeHeapExisted);
    // "order": reports whether the heap existed when the raise came;
    // "box": the raise as a program meets it, with its box and its end.
    if (strcmp(probe, "order") == 0) SetRaiseHookForTesting(&ExitWithHeapState);
    HeapAllocate(0xFFFFFFFFu);
    std::_Exit(kProbeRaiseReturned);
}

#ifdef _WIN32
const char kProgramErrorCaption[] = "gen_tests.exe error";
void SetProbe(const char* probe) { SetEnvironmentVariableA(kProbeVariable, probe); }
bool EndedByRaise(int status) { return status != 0 && status != kProbeRaiseReturned; }
#else
const char kProgramErrorCaption[] = "gen_tests error";
void SetProbe(const char* probe) {
    if (probe) {
        setenv(kProbeVariable, probe, 1);
    } else {
        unsetenv(kProbeVariable);
    }
}
bool EndedByRaise(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) != 0 &&
           WEXITSTATUS(status) != kProbeRaiseReturned;
}
#endif

class ProbeProcess : public ::testing::Test {
protected:
    // Death tests re-run the program (on Linux too), so the probe runs first.
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    void TearDown() override { SetProbe(nullptr); }
};

TEST_F(ProbeProcess, TheLargestRequestRaisesBeforeTheHeapExists) {
    SetProbe("order");
    EXPECT_EXIT(exit(0), ::testing::ExitedWithCode(kProbeHeapAbsentAtRaise), "");
}

TEST_F(ProbeProcess, NotEnoughMemoryShowsItsBoxAndEndsTheProgram) {
    BoxWatcher watcher;
    SetProbe("box");
    EXPECT_EXIT(exit(0), EndedByRaise, "");
    EXPECT_EQ(watcher.Stop(), (std::vector<SeenBox>{{kProgramErrorCaption, "Not enough memory", MB_OK, true}}));
}

}  // namespace
