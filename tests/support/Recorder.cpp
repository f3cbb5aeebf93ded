// A stand-in program: appends one line to the file named by KORVEL_RECORD,
// "started", its own path and its arguments, tab-separated:
//   started <TAB> module path <TAB> argc <TAB> argv[1] <TAB> ...
// It exits with the number in KORVEL_EXIT_CODE (a tool that fails), else 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef RECORD_DELAY_MS
#define RECORD_DELAY_MS 0
#endif

int main(int argc, char** argv) {
    Sleep(RECORD_DELAY_MS);
    const char* recordFile = std::getenv("KORVEL_RECORD");
    if (!recordFile) return 1;

    char self[4096] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string line = std::string("started\t") + self + '\t' + std::to_string(argc);
    for (int i = 1; i < argc; ++i) line += std::string("\t") + argv[i];
    line += '\n';

    FILE* file = std::fopen(recordFile, "ab");
    if (!file) return 2;
    std::fputs(line.c_str(), file);
    std::fclose(file);
    const char* exitCode = std::getenv("KORVEL_EXIT_CODE");
    return exitCode ? std::atoi(exitCode) : 0;
}
