// main() of every program: turns argv back into the Windows command line the
// program would have received (its arguments after the program name) and
// calls WinMain with it.
#include <windows.h>

#include <string>
#include <vector>

#include "Instance.h"

namespace {

// Quotes one argument so that the C runtime's parsing gives it back: quoted
// when empty or holding blanks or quotes; inside quotes, backslashes before a
// quote (or before the closing quote) are doubled and the quote escaped.
void AppendArgument(std::string& line, const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            line.append(backslashes * 2 + 1, '\\');
        } else {
            line.append(backslashes, '\\');
        }
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

}  // namespace

int main(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        AppendArgument(line, argv[i]);
    }
    // WinMain may write to its command line, as it may on Windows.
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    return WinMain(CompatMainInstance(), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
