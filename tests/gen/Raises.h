// Observing raises in-process: while a RaiseCatcher lives, every raise throws
// a Raised with the error's identity and text instead of ending the program.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "gen/Err.h"

struct Raised {
    const char* identity;
    std::string text;
};

class RaiseCatcher {
public:
    RaiseCatcher() : previous(SetRaiseHookForTesting(&Throw)) {}
    ~RaiseCatcher() { SetRaiseHookForTesting(previous); }
    RaiseCatcher(const RaiseCatcher&) = delete;
    RaiseCatcher& operator=(const RaiseCatcher&) = delete;

private:
    static void Throw(const char* identity, const char* text) { throw Raised{identity, text}; }
    RaiseHook previous;
};

// The raise that action makes; a test failure when it makes none.
template <class Action>
Raised RaiseOf(Action&& action) {
    try {
        std::forward<Action>(action)();
    } catch (const Raised& raised) {
        return raised;
    }
    ADD_FAILURE() << "nothing was raised";
    return {nullptr, ""};
}
