// BrowserCommandLine with any registered bytes and any argument, against a
// plain std::string model of its rules; besides, what follows an unquoted
// program holds no quote, blank or control character. Input: byte 0 = length of the
// registered value, then its bytes (NULs allowed, as a registry value may
// hold them), then the argument up to a first NUL. The value lies in a
// buffer of exactly its size and one terminator, so that any read past it
// is caught.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gen/Shell.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// The argument as it must stand in a command line: quotes, blanks and
// control characters percent-encoded, nothing else.
std::string Encoded(const std::string& argument) {
    std::string encoded;
    for (unsigned char c : argument) {
        if (c == '"' || c == ' ' || c < 0x20 || c == 0x7F) {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            encoded += escape;
        } else {
            encoded += static_cast<char>(c);
        }
    }
    return encoded;
}

std::string Model(std::string command, const std::string& plainArgument) {
    for (char& c : command) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    command = command.c_str();  // the text ends at a first NUL
    if (command.find_first_not_of(" \t\r\n") == std::string::npos) return "";
    std::string argument = Encoded(plainArgument);
    size_t exe = command.find(".exe ");
    if (exe != std::string::npos) return command.substr(0, exe + 5) + argument;
    if (command.find("%1") == std::string::npos) return command + " " + argument;
    std::string line;
    size_t rest = 0;
    for (size_t match; (match = command.find("%1", rest)) != std::string::npos; rest = match + 2)
        line += command.substr(rest, match - rest) + argument;
    return line + command.substr(rest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t length = data[0] < size - 1 ? data[0] : size - 1;
    std::string registered(reinterpret_cast<const char*>(data + 1), length);
    std::string argument(reinterpret_cast<const char*>(data + 1 + length), size - 1 - length);
    argument = argument.c_str();

    std::vector<char> command(registered.begin(), registered.end());
    command.push_back('\0');
    command.shrink_to_fit();
    std::string expected = Model(registered, argument);
    Str line = BrowserCommandLine(command.data(), static_cast<unsigned>(length), argument.c_str());
    FUZZ_CHECK(expected == line.data);
    std::string lower(registered.c_str());
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!argument.empty() && lower.find(".exe ") != std::string::npos) {
        std::string placed = std::string(line.data).substr(lower.find(".exe ") + 5);
        for (unsigned char c : placed) FUZZ_CHECK(c != '"' && c != ' ' && c >= 0x20 && c != 0x7F);
    }
    // Lower-cased in place within the value's bytes; the terminator stays.
    for (size_t i = 0; i < length; ++i)
        FUZZ_CHECK(command[i] == static_cast<char>(std::tolower(static_cast<unsigned char>(registered[i]))));
    FUZZ_CHECK(command[length] == '\0');
    return 0;
}
