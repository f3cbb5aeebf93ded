#include "gen/Err.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "Raises.h"
#include "support/MessageBoxes.h"

namespace {

#ifdef _WIN32
const std::string kProgramName = "gen_tests.exe";
#else
const std::string kProgramName = "gen_tests";
#endif

const char kCountTemplate[] = "%s holds %d items";
// Equal texts, different objects: different errors.
const char kSameText1[] = "The same words";
const char kSameText2[] = "The same words";
const char kFirstTemplate[] = "first error %s";
const char kSecondTemplate[] = "second error %d";

void Dispatch(const char* identity, const char* text, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    DispatchError(identity, text, format, arguments);
    va_end(arguments);
}

// Each test starts and ends with no error in progress and the same top frame.
class ErrTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ErrorDepth, 0);
        InternalErrorExceptions::count = 0;
        topBefore = *TopFrameSlot();
    }
    void TearDown() override {
        EXPECT_EQ(ErrorDepth, 0);
        EXPECT_EQ(*TopFrameSlot(), topBefore);
    }
    InternalErrorExceptions exceptions;
    ErrFrame* topBefore = nullptr;
};

TEST_F(ErrTest, ARaiseInAScopeIsThrownToIt) {
    BoxWatcher watcher;
    bool handled = false;
    ERR_TRY(scope) {
        EXPECT_EQ(*TopFrameSlot(), &scope);
        EXPECT_EQ(scope.outer, topBefore);
        RaiseError(kCountTemplate, "list", 3);
        ADD_FAILURE() << "the raise came back";
    }
    ERR_CATCH(error) {
        handled = true;
        EXPECT_EQ(error.id, kCountTemplate);
        EXPECT_STREQ(error.message.data, "list holds 3 items");
        EXPECT_TRUE(error.raised);
        EXPECT_EQ(ErrorDepth, 1);  // in progress while the handler runs
        EXPECT_TRUE(scope.raised);
        EXPECT_EQ(scope.id, kCountTemplate);
    }
    EXPECT_TRUE(handled);
    EXPECT_EQ(ErrorDepth, 0);
    EXPECT_TRUE(scope.Caught());
    EXPECT_FALSE(scope.Caught());
    EXPECT_EQ(scope.outer, nullptr);
    EXPECT_TRUE(watcher.Stop().empty());
}

TEST_F(ErrTest, AScopeWithoutAnErrorIsLeftByCaught) {
    ERR_TRY(scope) {}
    ERR_CATCH(error) { ADD_FAILURE() << error.message.data; }
    EXPECT_EQ(scope.message.data, nullptr);  // no text after Enter
    EXPECT_EQ(*TopFrameSlot(), &scope);
    EXPECT_FALSE(scope.Caught());
    EXPECT_EQ(*TopFrameSlot(), topBefore);
}

TEST_F(ErrTest, PropagateRaisesTheErrorAgainInTheEnclosingScope) {
    ERR_TRY(enclosing) {
        ERR_TRY(inner) { RaiseErrorId(kSameText1, "code %d", 42); }
        ERR_CATCH(error) {
            EXPECT_EQ(*TopFrameSlot(), &inner);
            inner.Propagate();
            ADD_FAILURE() << "Propagate came back";
        }
    }
    ERR_CATCH(error) {
        EXPECT_EQ(error.id, kSameText1);
        EXPECT_STREQ(error.message.data, "code 42");
        EXPECT_TRUE(enclosing.raised);
        EXPECT_STREQ(enclosing.message.data, "code 42");
    }
    EXPECT_TRUE(enclosing.Caught());

    // Without an error Propagate does nothing.
    ERR_TRY(quiet) { quiet.Propagate(); }
    ERR_CATCH(error) { ADD_FAILURE() << "thrown: " << error.message.data; }
    EXPECT_FALSE(quiet.Caught());
}

TEST_F(ErrTest, ErrorsAreToldApartByTemplateNotByText) {
    EXPECT_EQ(RaiseOf([] { RaiseError(kSameText1); }).identity, kSameText1);
    EXPECT_EQ(RaiseOf([] { RaiseError(kSameText2); }).identity, kSameText2);

    // The internal templates raise the structured exception: their copies,
    // ordinary templates to the framework, do not.
    std::string copy = InternalTemplates[AssertionTemplate];
    Raised copied = RaiseOf([&copy] { RaiseError(copy.c_str(), "a.cpp", 1); });
    EXPECT_EQ(copied.identity, copy.c_str());
    EXPECT_EQ(InternalErrorExceptions::count, 0);
    EXPECT_FALSE(IsInternalTemplate(copy.c_str()));

    Raised assertion = RaiseOf([] { AssertFailed("a.cpp", 1); });
    EXPECT_EQ(assertion.identity, InternalTemplates[AssertionTemplate]);
    EXPECT_EQ(assertion.text, copied.text);
    EXPECT_EQ(InternalErrorExceptions::count, 1);
}

TEST_F(ErrTest, InternalErrorsRaiseTheStructuredException) {
    struct Case {
        const char* name;
        std::function<void()> raise;
        int exceptions;
    };
    const Case cases[] = {
        {"AssertFailed", [] { AssertFailed("..\\gen\\Array.cpp", 7); }, 1},
        {"CheckFailed", [] { CheckFailed("..\\gen\\Array.cpp", 7); }, 1},
        {"RaiseProtectionFault", [] { RaiseProtectionFault("Access violation", 16); }, 1},
        {"NotImplemented", [] { NotImplemented("..\\gen\\Path.cpp", 55); }, 1},
        {"signal template", [] { RaiseError(InternalTemplates[SignalTemplate], "SIGINT"); }, 1},
        {"ordinary", [] { RaiseError(kCountTemplate, "list", 1); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InternalErrorExceptions::count = 0;
        RaiseOf(c.raise);
        EXPECT_EQ(InternalErrorExceptions::count, c.exceptions);
        if (c.exceptions) {
            EXPECT_EQ(InternalErrorExceptions::lastFlags, 0u);  // continuable
            EXPECT_EQ(InternalErrorExceptions::lastParameterCount, 1u);
            EXPECT_EQ(InternalErrorExceptions::lastKind, "Asserted");
        }
    }
}

TEST_F(ErrTest, APropagatedAssertionRaisesTheExceptionAgain) {
    // It comes without source path and line: no configured text is looked for.
    ERR_TRY(enclosing) {
        ERR_TRY(inner) { AssertFailed("..\\gen\\Ini.cpp", 12); }
        ERR_CATCH(error) { inner.Propagate(); }
    }
    ERR_CATCH(error) { EXPECT_EQ(error.id, InternalTemplates[AssertionTemplate]); }
    EXPECT_TRUE(enclosing.Caught());
    EXPECT_EQ(InternalErrorExceptions::count, 2);
}

TEST_F(ErrTest, AReadyTextIsUsedAsItIs) {
    Raised ready = RaiseOf([] { Dispatch(kSameText1, "100% sure: %d %s", nullptr); });
    EXPECT_EQ(ready.identity, kSameText1);
    EXPECT_EQ(ready.text, "100% sure: %d %s");
    // A format given beside a ready text is not applied either.
    EXPECT_EQ(RaiseOf([] { Dispatch(kSameText1, "50%s", "%d", 1); }).text, "50%s");
    // Without a format the identity is the format.
    EXPECT_EQ(RaiseOf([] { Dispatch(kCountTemplate, nullptr, nullptr, "box", 2); }).text,
              "box holds 2 items");
}

TEST_F(ErrTest, ErrorDepthNeverGoesBelowZero) {
    ERR_TRY(scope) { RaiseError(kFirstTemplate, "x"); }
    ERR_CATCH(error) {
        // Every destroyed copy of the error counts it as finished once.
        auto* first = new ErrFrame(error);
        auto* second = new ErrFrame(*first);
        delete first;
        EXPECT_EQ(ErrorDepth, 0);
        delete second;
        EXPECT_EQ(ErrorDepth, 0);
    }
    EXPECT_EQ(ErrorDepth, 0);
    EXPECT_TRUE(scope.Caught());
    EXPECT_FALSE(scope.Caught());  // leaves a frame that holds the error
    EXPECT_EQ(ErrorDepth, 0);
}

TEST_F(ErrTest, ErrorBoxesNameTheProgram) {
    struct Case {
        const char* name;
        bool (*show)(const char*, const char*);
        const char* identity;
        const char* caption;  // null: no box
    };
    const Case cases[] = {
        {"error", ShowErrorBox, kSameText1, " error"},
        {"warning", ShowWarningBox, kSameText1, " warning"},
        {"null identity", ShowErrorBox, nullptr, nullptr},
        {"internal template", ShowErrorBox, InternalTemplates[CheckTemplate], nullptr},
        {"internal template, warning", ShowWarningBox, InternalTemplates[TripleNestedTemplate], nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoxWatcher watcher;
        EXPECT_TRUE(c.show(c.identity, "Line one\nline two"));
        std::vector<SeenBox> boxes = watcher.Stop();
        if (!c.caption) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        EXPECT_EQ(boxes, (std::vector<SeenBox>{{kProgramName + c.caption, "Line one\nline two", MB_OK, true}}));
    }
}

TEST_F(ErrTest, TheDebuggerOfferWithoutADebuggerNeverTraps) {
    if (IsDebuggerPresent()) GTEST_SKIP() << "a debugger is attached";
    const char text[] = "Internal error. Trap to the debugger?\n\nDouble nested error\n";
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer);
        BoxWatcher watcher({answer});
        // A Yes without a debugger must not break: the process would die here.
        EXPECT_FALSE(OfferDebugger(text));
        EXPECT_EQ(watcher.Stop(), (std::vector<SeenBox>{{"Error", text, MB_YESNO, true}}));
    }
    // So a nested error is always delivered, and no exception is raised for it.
    BoxWatcher watcher({IDYES, IDNO});
    EXPECT_TRUE(ShouldDeliver(InternalTemplates[DoubleNestedTemplate], text, nullptr));
    EXPECT_TRUE(ShouldDeliver(InternalTemplates[TripleNestedTemplate], text, nullptr));
    EXPECT_EQ(watcher.Stop().size(), 2u);
    EXPECT_EQ(InternalErrorExceptions::count, 0);
}

TEST(AssertSettingKey, IsLineInnermostFolderAndFileInLowerCase) {
    struct Case {
        const char* path;
        int line;
        const char* key;
    };
    const Case cases[] = {
        {"..\\Gen\\Array.cpp", 74, "74 gen/array.cpp"},
        {"C:\\work\\other\\GEN\\Array.CPP", 74, "74 gen/array.cpp"},  // the same key
        {"src/lib/Ini.cpp", 3, "3 lib/ini.cpp"},
        {"..\\gen\\sub\\", 5, "5 sub/"},
        {"Array.cpp", 9, "9 /array.cpp"},
        {"D:Array.cpp", 9, "9 /array.cpp"},
        {"D:\\Top\\x.y.cpp", -1, "-1 top/x.y.cpp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(AssertSettingKey(c.path, c.line).data, c.key);
    }
}

// Whole processes: the program ended by a raise, observed from outside. The
// boxes are read and answered by a watcher in this process.
class ErrProcess : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

void ReportReleaseAtExit() {
    fprintf(stderr, "released at exit\n");
    fflush(stderr);
}

TEST_F(ErrProcess, ARaiseWithoutAScopeShowsOneBoxAndEndsInOrder) {
    ParentBoxWatcher watcher;
    EXPECT_EXIT(
        {
            atexit(ReportReleaseAtExit);
            RaiseError(kCountTemplate, "list", 5);
            fprintf(stderr, "the raise came back\n");
        },
        ::testing::ExitedWithCode(RaisedExitStatus), "released at exit");
    EXPECT_EQ(watcher.Stop(), (std::vector<SeenBox>{{kProgramName + " error", "list holds 5 items", MB_OK, true}}));
}

LONG CALLBACK ReportInternalError(PEXCEPTION_POINTERS pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode != InternalErrorException) return EXCEPTION_CONTINUE_SEARCH;
    fprintf(stderr, "structured exception %u with %u parameter and flags %u: %s\n",
            static_cast<unsigned>(record.ExceptionCode), static_cast<unsigned>(record.NumberParameters),
            static_cast<unsigned>(record.ExceptionFlags),
            reinterpret_cast<const char*>(record.ExceptionInformation[0]));
    fflush(stderr);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST_F(ErrProcess, AnInternalErrorRaisesTheExceptionAndShowsNoBox) {
    ParentBoxWatcher watcher;
    EXPECT_EXIT(
        {
            AddVectoredExceptionHandler(1, ReportInternalError);
            AssertFailed("..\\gen\\Array.cpp", 74);
        },
        ::testing::ExitedWithCode(RaisedExitStatus),
        "structured exception 101 with 1 parameter and flags 0: Asserted");
    EXPECT_TRUE(watcher.Stop().empty());
}

// A second raise while the first is in progress, the frame that received the
// first still on top: the text of the frame below it comes first.
void NestedInTheReceivingScope() {
    ERR_TRY(enclosing) {
        enclosing.message = "the enclosing frame's text";
        ERR_TRY(scope) { RaiseError(kFirstTemplate, "one"); }
        ERR_CATCH(error) { RaiseError(kSecondTemplate, 2); }
    }
    ERR_CATCH(error) {}
}

// The same with a scope entered after the first error: the first error's text.
void NestedInALaterScope() {
    ERR_TRY(scope) { RaiseError(kFirstTemplate, "one"); }
    ERR_CATCH(error) {
        ERR_TRY(later) { RaiseError(kSecondTemplate, 2); }
        ERR_CATCH(second) {}
    }
}

void NestedAtTheBottom() {
    ErrorDepth = 1;
    RaiseError(kSecondTemplate, 2);
}

void TripleNested() {
    ErrorDepth = 2;
    RaiseError(kSecondTemplate, 3);
}

std::string DoubleNested(const std::string& first, const std::string& nested) {
    return "Internal error. Trap to the debugger?\n\nDouble nested error\nFirst: {\n" + first +
           "\n}\nNested: {\n" + nested + "\n}\n";
}

TEST_F(ErrProcess, NestedErrorsAreOfferedToTheDebuggerAndEndTheProgram) {
    if (IsDebuggerPresent()) GTEST_SKIP() << "a debugger is attached";
    struct Case {
        const char* name;
        void (*run)();
        int answer;
        std::string text;
    };
    const Case cases[] = {
        {"receiving scope on top", NestedInTheReceivingScope, IDNO,
         DoubleNested("the enclosing frame's text", "second error 2")},
        {"later scope on top", NestedInALaterScope, IDYES,
         DoubleNested("first error one", "second error 2")},
        {"bottom frame on top", NestedAtTheBottom, IDNO,
         DoubleNested("Internal error\n\nNo valid error frame found at Gen/Err", "second error 2")},
        {"triple", TripleNested, IDYES,
         "Internal error. Trap to the debugger?\n\nTriple nested error\nCannot refine details\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ParentBoxWatcher watcher({c.answer});
        // Yes without a debugger is not trapped: the same orderly end as No.
        EXPECT_EXIT(
            {
                AddVectoredExceptionHandler(1, ReportInternalError);
                c.run();
                fprintf(stderr, "the nested raise came back\n");
            },
            ::testing::ExitedWithCode(RaisedExitStatus), "");
        if (InDeathTestChild()) continue;
        EXPECT_EQ(watcher.Stop(), (std::vector<SeenBox>{{"Error", c.text, MB_YESNO, true}}));
    }
}

}  // namespace
