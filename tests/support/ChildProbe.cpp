// A child for the process tests. It writes what it was given to the file
// named by COMPAT_PROBE_OUT:
//   module=<its own file>  cwd=<its current folder>
//   var=<COMPAT_PROBE_VAR, or "(unset)">  args=<count>  then [argument] lines
// then, if COMPAT_PROBE_HOLD names a file, waits (up to a minute) for it to
// exist, writes the file named by COMPAT_PROBE_DONE if set, and exits with
// the code in COMPAT_PROBE_EXIT (decimal, default 0).
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string Variable(const char* name, const char* otherwise) {
    char value[4096];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? otherwise : std::string(value, length);
}

}  // namespace

int main(int argc, char** argv) {
    char module[4096];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module) return 100;

    std::string out = Variable("COMPAT_PROBE_OUT", "");
    if (out.empty()) return 101;
    {
        std::ofstream file(out, std::ios::binary | std::ios::trunc);
        file << "module=" << module << "\ncwd=" << std::filesystem::current_path().string()
             << "\nvar=" << Variable("COMPAT_PROBE_VAR", "(unset)") << "\nargs=" << argc - 1 << '\n';
        for (int i = 1; i < argc; ++i) file << '[' << argv[i] << "]\n";
        if (!file.flush()) return 102;
    }

    std::string hold = Variable("COMPAT_PROBE_HOLD", "");
    for (int waited = 0; !hold.empty() && !std::filesystem::exists(hold) && waited < 60000; waited += 10) Sleep(10);
    std::string done = Variable("COMPAT_PROBE_DONE", "");
    if (!done.empty()) std::ofstream(done).put('x');
    return std::atoi(Variable("COMPAT_PROBE_EXIT", "0").c_str());
}
