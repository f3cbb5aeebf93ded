// Shared by the end-to-end tests: a sandbox with the registry, environment
// and stand-ins the programs meet, a way to run a program while its boxes are
// watched, and what the stand-ins recorded.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/MessageBoxes.h"
#include "support/Sandbox.h"

// The built programs and stand-ins, as this process names them. The
// variables GEN_RUN_PROGRAM and GEN_INSTALL_PROGRAM, when set, name the
// programs under test instead (a build path, as CMake writes it).
std::string RunProgram();
std::string InstallProgram();
std::string RecorderProgram();
// The stand-in COM server (Windows) or registration tool (Linux); "" where
// the platform has none.
std::string StandinDll();
std::string StandinRegsvr32();

// Whether the programs under test are 32-bit ones on 64-bit Windows
// (GEN_PROGRAMS_BITS=32). Their default registry view is the 32-bit one, so a
// machine-wide value stored in the 64-bit view alone is out of their sight.
bool ProgramsSeeOnlyThe32BitView();

// One line of the record file. A stand-in program gives the program that ran
// and its arguments; the stand-in COM server gives the program that loaded
// it (the registration tool) and that program's arguments, and itself.
struct Record {
    std::string program;
    std::vector<std::string> args;  // without the program's own name
    std::string dll;                // the COM server's path, else empty
};

// A path compared across the platforms' spellings: separators made '/' and
// doubled ones merged, as the system does when it opens the file.
std::string SamePath(const std::string& path);

// The system's text for code as the programs ask for it: with language 0, or
// the launcher's form (FORMAT_MESSAGE_IGNORE_INSERTS, neutral language).
std::string SystemText(DWORD code);
std::string LauncherSystemText(DWORD code);

// Where a value is stored: per-user or machine-wide, in the 32-bit or the
// default registry view.
enum class Place { UserWow32, User, MachineWow32, Machine };

// A registry value under Software\Korvel naming a folder of the sandbox
// (relative to it; "" stores the empty text). Type REG_NONE makes the key
// without the value.
struct Value {
    Place place;
    std::string folder;
    DWORD type = REG_SZ;
};

// What one run of a program left behind.
struct Outcome {
    long exitCode;
    std::vector<SeenBox> boxes;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The text stored for value: the folder's full path, or "".
    std::string Stored(const Value& value) const;
    void Store(const Value& value, const char* name) const;
    // Runs program with arguments in folder while its boxes are watched.
    Outcome Launch(const std::string& program, const std::string& arguments,
                   const std::string& folder = std::string()) const;
    // The records, once at least count lines are there (or after a while:
    // what is there then); with count 0, after the time a stray start would
    // need to show.
    std::vector<Record> Records(size_t count) const;
    // The records there are now.
    std::vector<Record> RecordsSoFar() const;

    Sandbox sandbox;
};
