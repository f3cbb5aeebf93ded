// A fresh folder for one test, removed with everything in it afterwards, and
// the few file and process chores the tests share on every platform.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // The folder, without a trailing separator, in the platform's own form.
    const std::string& Root() const { return root; }
    // Root joined with a relative path ("a\\b" or "a/b"), created folders not implied.
    std::string Path(const std::string& relative) const;
    // Creates the folder (and its parents) and returns its path.
    std::string Folder(const std::string& relative) const;

private:
    std::string root;
};

// Fills sandbox with the file search fixture: a.txt (5 bytes), B.TXT, noext
// (empty) and the folder subdir.
void MakeSearchFixture(const Sandbox& sandbox);

// A path as this process names it (its narrow texts are in its ANSI code
// page: UTF-8 in the tests) in the filesystem library's form. Under Windows
// the library would read a narrow text in another code page.
std::filesystem::path FsPath(const std::string& path);

// A build path (as CMake writes it, a Unix path) as the running program sees
// it: unchanged on Linux, Z:\... under Wine.
std::string HostPath(const std::string& buildPath);

// Copies a program (or any file) to destination, keeping it executable.
void CopyProgram(const std::string& source, const std::string& destination);

// Reads a whole file; empty when it does not exist.
std::string ReadFileText(const std::string& path);
// Replaces a file's bytes with text, creating it.
void WriteFileText(const std::string& path, const std::string& text);
// The fields of line between the separators (one when there is none).
std::vector<std::string> SplitFields(const std::string& line, char separator);
// The complete lines of text, without their '\n': a writer may be busy with
// the last one.
std::vector<std::string> CompleteLines(const std::string& text);
// A record file that programs add lines to, once it holds count complete lines
// (or after wait: what is there then); with count 0, after settle, the time a
// stray program would need to show in it.
std::string WaitForLines(const std::string& path, size_t count, std::chrono::milliseconds wait,
                         std::chrono::milliseconds settle);
// A profile file's value as the platform's profile function reads it (up to
// 2047 characters), "(missing)" when there is none.
std::string ProfileText(const std::string& file, const char* section, const char* key);

// Starts program with the given command line (the line as the child sees it,
// including its own name), in folder when one is given (else this process's
// current folder), waits and returns its exit code read as a signed 32-bit
// number (a program returning -1 gives -1); -1000 - error when it cannot be
// started.
long RunAndWait(const std::string& program, const std::string& commandLine,
                const std::string& folder = std::string());
