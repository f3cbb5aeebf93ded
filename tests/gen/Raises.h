// Observing raises in-process through real protected scopes. While a
// RaiseCatcher lives a protected scope is active, so a raise the test did not
// expect is thrown (GoogleTest reports the exception) instead of ending the
// program; RaiseOf runs an action in a scope of its own and returns the error
// it raised. Both continue the structured exception internal errors raise,
// which would otherwise end the process as unhandled. ParentBoxWatcher reads
// the boxes of a whole process that a raise ends.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gen/Err.h"
#include "support/MessageBoxes.h"

struct Raised {
    const char* identity;
    std::string text;
};

// While one lives, the internal-error exception is continued and recorded.
class InternalErrorExceptions {
public:
    InternalErrorExceptions() : handle(AddVectoredExceptionHandler(1, &Continue)) {}
    ~InternalErrorExceptions() { RemoveVectoredExceptionHandler(handle); }
    InternalErrorExceptions(const InternalErrorExceptions&) = delete;
    InternalErrorExceptions& operator=(const InternalErrorExceptions&) = delete;

    // Shared by all watchers; tests reset count themselves.
    static inline int count;
    static inline unsigned lastFlags;
    static inline unsigned lastParameterCount;
    static inline std::string lastKind;  // the text the one parameter points at

private:
    static LONG CALLBACK Continue(PEXCEPTION_POINTERS pointers) {
        const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
        if (record.ExceptionCode != InternalErrorException) return EXCEPTION_CONTINUE_SEARCH;
        ++count;
        lastFlags = record.ExceptionFlags;
        lastParameterCount = record.NumberParameters;
        lastKind = record.NumberParameters >= 1
                       ? reinterpret_cast<const char*>(record.ExceptionInformation[0])
                       : "";
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    PVOID handle;
};

class RaiseCatcher {
public:
    RaiseCatcher() { scope.Enter(); }
    RaiseCatcher(const RaiseCatcher&) = delete;
    RaiseCatcher& operator=(const RaiseCatcher&) = delete;

private:
    InternalErrorExceptions exceptions;
    ErrFrame scope;
};

// The raise that action makes; a test failure when it makes none.
template <class Action>
Raised RaiseOf(Action&& action) {
    InternalErrorExceptions exceptions;
    ERR_TRY(scope) { std::forward<Action>(action)(); }
    ERR_CATCH(error) { return {error.id, error.message.data ? error.message.data : "(no text)"}; }
    ADD_FAILURE() << "nothing was raised";
    return {nullptr, ""};
}

// Whole processes ended by a raise (death tests), observed from outside.
// A death test's child runs the test body again up to its statement: only
// the parent watches, or the child would take its own boxes, and only the
// parent checks what it saw, or a failed check would stop the child early.
inline bool InDeathTestChild() { return !GTEST_FLAG_GET(internal_run_death_test).empty(); }

class ParentBoxWatcher {
public:
    explicit ParentBoxWatcher(std::vector<int> answers = {}) {
        if (!InDeathTestChild()) watcher.emplace(std::move(answers));
    }
    std::vector<SeenBox> Stop() { return watcher ? watcher->Stop() : std::vector<SeenBox>(); }

private:
    std::optional<BoxWatcher> watcher;
};
