// Processes over posix_spawn, with Windows' rules for finding the program and
// the C runtime's rules for splitting its command line into arguments.
//
// Exit codes: a Windows program's exit code is 32 bits, a POSIX status 8. The
// programs here return −1 for failure, which reaches a POSIX parent as 255; so
// GetExitCodeProcess reports 255 as 0xFFFFFFFF (what Windows reports for −1)
// and every other status as it is (200 stays 200). A child killed by a signal
// gets the code Windows gives the matching failure: an access violation
// (0xC0000005) for SIGSEGV and SIGBUS, 0xC000001D for SIGILL, 0xC0000094 for
// SIGFPE, 3 for SIGABRT (the C runtime's abort()), 1 for any other signal.
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "Files.h"
#include "Process.h"

extern char** environ;

namespace {

constexpr DWORD ERROR_SHARING_VIOLATION_CODE = 32;
constexpr DWORD CREATE_UNICODE_ENVIRONMENT_FLAG = 0x00000400;

// ---- Handles --------------------------------------------------------------

struct ProcessRecord {
    pid_t pid = 0;
    std::mutex mutex;  // guards exited and exitCode
    bool exited = false;
    DWORD exitCode = 0;
};

// Both the process handle and the thread handle refer to the process: its
// main thread ends when it does.
struct HandleObject {
    std::shared_ptr<ProcessRecord> process;
};

// Handle values count up in steps of four, like Windows', and are never
// reused, so a stale handle fails cleanly instead of naming a newer object.
std::mutex handleMutex;
ULONG_PTR nextHandle = 0x1000;
std::unordered_map<HANDLE, std::unique_ptr<HandleObject>>& LiveHandles() {
    static auto* handles = new std::unordered_map<HANDLE, std::unique_ptr<HandleObject>>;
    return *handles;
}

HANDLE AddHandle(const std::shared_ptr<ProcessRecord>& process) {
    std::lock_guard<std::mutex> lock(handleMutex);
    HANDLE handle = reinterpret_cast<HANDLE>(nextHandle);
    nextHandle += 4;
    LiveHandles()[handle] = std::unique_ptr<HandleObject>(new HandleObject{process});
    return handle;
}

std::shared_ptr<ProcessRecord> ProcessOf(HANDLE handle) {
    std::lock_guard<std::mutex> lock(handleMutex);
    auto found = LiveHandles().find(handle);
    return found == LiveHandles().end() ? nullptr : found->second->process;
}

// ---- Exit codes -----------------------------------------------------------

DWORD ExitCodeOf(int status) {
    if (WIFEXITED(status)) {
        int code = WEXITSTATUS(status);
        return code == 255 ? 0xFFFFFFFFu : static_cast<DWORD>(code);
    }
    if (WIFSIGNALED(status)) {
        switch (WTERMSIG(status)) {
            case SIGSEGV: case SIGBUS: return 0xC0000005u;
            case SIGILL: return 0xC000001Du;
            case SIGFPE: return 0xC0000094u;
            case SIGABRT: return 3;
            default: return 1;
        }
    }
    return 1;
}

// Collects the child's status if it has ended; true once it has.
bool TryReap(ProcessRecord& process) {
    std::lock_guard<std::mutex> lock(process.mutex);
    if (process.exited) return true;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(process.pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return false;
    process.exited = true;
    // ECHILD: some other code of this process collected it; its code is lost.
    process.exitCode = result > 0 ? ExitCodeOf(status) : 1;
    return true;
}

void SleepMilliseconds(DWORD milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// ---- Paths ----------------------------------------------------------------

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool EndsWithExe(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".exe";
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::vector<char> folder(256);
    while (getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE) return path;
        folder.resize(folder.size() * 2);
    }
    std::string result = folder.data();
    if (result != "/") result += '/';
    return result + path;
}

// What the search learnt about the candidates it tried.
struct SearchResult {
    std::string program;            // the program found, empty if none
    bool sawNotExecutable = false;  // a candidate exists but may not be run
    bool sawFolder = false;         // some candidate's folder exists
};

// Tries one name (a host path). Windows adds ".exe" to a name without an
// extension. Native programs carry no suffix, so the name without ".exe" is
// tried after it, and a name ending in ".exe" is also tried without it.
void TryName(const std::string& name, SearchResult& result) {
    if (!result.program.empty()) return;
    std::vector<std::string> variants;
    if (FileNameOf(name).find('.') == std::string::npos) {
        variants = {name + ".exe", name};
    } else if (EndsWithExe(name)) {
        variants = {name, name.substr(0, name.size() - 4)};
    } else {
        variants = {name};
    }
    if (IsFolder(FolderOf(name))) result.sawFolder = true;
    for (const std::string& variant : variants) {
        struct stat info;
        if (stat(variant.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        if (access(variant.c_str(), X_OK) != 0) {
            result.sawNotExecutable = true;
            continue;
        }
        result.program = Absolute(variant);
        return;
    }
}

std::string ProgramFolder() {
    char path[4096];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return std::string();
    return FolderOf(path);
}

// The folders Windows searches for a bare program name: the program's own,
// the current one, the system and Windows folders, then PATH.
std::vector<std::string> SearchFolders() {
    std::vector<std::string> folders;
    std::string own = ProgramFolder();
    if (!own.empty()) folders.push_back(own);
    folders.push_back(".");
    char folder[4096];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length > 0 && length < sizeof folder) folders.push_back(folder);
    length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length > 0 && length < sizeof folder) folders.push_back(folder);
    if (const char* path = getenv("PATH")) {
        std::string list = path;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) folders.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    return folders;
}

// One candidate as Windows writes it: a path is taken as it is, a bare name is
// searched for.
void TryCandidate(const std::string& candidate, bool search, SearchResult& result) {
    std::string name = ToHostPath(candidate);
    if (name.empty()) return;
    if (!search || name.find('/') != std::string::npos) {
        TryName(name, result);
        return;
    }
    for (const std::string& folder : SearchFolders()) {
        TryName(folder == "." ? name : folder + "/" + name, result);
        if (!result.program.empty()) return;
    }
}

// ---- Command lines --------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The arguments after the program name, split by the C runtime's rules:
// blanks separate arguments except inside quotes; 2N backslashes and a quote
// give N backslashes and open or close quoting; 2N+1 backslashes and a quote
// give N backslashes and a quote; other backslashes are kept; inside quotes
// "" gives a quote.
void SplitArguments(const char* p, std::vector<std::string>& arguments) {
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') return;
        std::string argument;
        bool quoted = false;
        for (;;) {
            bool copy = true;
            size_t backslashes = 0;
            while (*p == '\\') {
                ++p;
                ++backslashes;
            }
            if (*p == '"') {
                if (backslashes % 2 == 0) {
                    if (quoted && p[1] == '"') {
                        ++p;
                    } else {
                        copy = false;
                        quoted = !quoted;
                    }
                }
                backslashes /= 2;
            }
            argument.append(backslashes, '\\');
            if (*p == '\0' || (!quoted && IsBlank(*p))) break;
            if (copy) argument += *p;
            ++p;
        }
        arguments.push_back(argument);
    }
}

// The program name at the start of a command line, by the C runtime's rule
// for it: quotes only group, backslashes are plain. Returns where it ends.
const char* SplitProgramName(const char* p, std::string& name) {
    bool quoted = false;
    while (*p != '\0' && (quoted || !IsBlank(*p))) {
        if (*p == '"') {
            quoted = !quoted;
        } else {
            name += *p;
        }
        ++p;
    }
    return p;
}

// The program a command line without an application name starts, and where
// its arguments begin.
SearchResult FindProgramOfCommandLine(const char* line, const char** arguments) {
    SearchResult result;
    while (IsBlank(*line)) ++line;
    if (*line == '"') {
        const char* close = strchr(line + 1, '"');
        const char* end = close != nullptr ? close : line + strlen(line);
        TryCandidate(std::string(line + 1, end), true, result);
        *arguments = close != nullptr ? close + 1 : end;
        return result;
    }
    // Unquoted: each stretch up to a blank is tried in turn, growing, then
    // the whole line; the first that names a program wins.
    const char* end = line;
    for (;;) {
        while (*end != '\0' && !IsBlank(*end)) ++end;
        TryCandidate(std::string(line, end), true, result);
        if (!result.program.empty() || *end == '\0') break;
        ++end;
    }
    *arguments = end;
    return result;
}

// An ANSI environment block: NAME=value strings, ended by an empty one.
std::vector<std::string> ReadEnvironmentBlock(const char* block) {
    std::vector<std::string> entries;
    for (const char* p = block; *p != '\0'; p += strlen(p) + 1) entries.emplace_back(p);
    return entries;
}

DWORD ErrorOfSpawn(int error) {
    switch (error) {
        case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case ENOMEM: case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
        case E2BIG: return ERROR_INVALID_PARAMETER;
        case ENAMETOOLONG: case ELOOP: return ERROR_BAD_PATHNAME;
        case ETXTBSY: return ERROR_SHARING_VIOLATION_CODE;
        default: return ERROR_ACCESS_DENIED;
    }
}

}  // namespace

void InitChildAttributes(posix_spawnattr_t* attributes) {
    posix_spawnattr_init(attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(attributes, &signals);
    posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

extern "C" {

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES /*processAttributes*/,
                    LPSECURITY_ATTRIBUTES /*threadAttributes*/, BOOL /*inheritHandles*/, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA /*startupInfo*/,
                    LPPROCESS_INFORMATION processInformation) {
    if (processInformation == nullptr || (applicationName == nullptr && commandLine == nullptr) ||
        (environment != nullptr && (creationFlags & CREATE_UNICODE_ENVIRONMENT_FLAG))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    // The program, and the child's argv after the program name slot.
    SearchResult found;
    std::vector<std::string> arguments;
    if (applicationName != nullptr) {
        // Taken as given, relative to this process's current folder.
        TryCandidate(applicationName, false, found);
        const char* rest = commandLine != nullptr ? commandLine : "";
        std::string first;
        rest = SplitProgramName(rest, first);
        arguments.push_back(commandLine != nullptr && commandLine[0] != '\0' ? first : applicationName);
        SplitArguments(rest, arguments);
    } else {
        const char* rest = nullptr;
        found = FindProgramOfCommandLine(commandLine, &rest);
        arguments.push_back(found.program);  // as Wine gives it to the child
        SplitArguments(rest, arguments);
    }
    if (found.program.empty()) {
        SetLastError(found.sawNotExecutable ? ERROR_ACCESS_DENIED
                     : found.sawFolder      ? ERROR_FILE_NOT_FOUND
                                            : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string folder;
    if (currentDirectory != nullptr) {
        folder = ToHostPath(currentDirectory);
        if (!IsFolder(folder)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
    }

    std::vector<std::string> environmentEntries;
    if (environment != nullptr) environmentEntries = ReadEnvironmentBlock(static_cast<const char*>(environment));
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environmentEntries) envp.push_back(&entry[0]);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attributes;
    InitChildAttributes(&attributes);

    pid_t pid = 0;
    int error = posix_spawn(&pid, found.program.c_str(), &actions, &attributes, argv.data(),
                            environment != nullptr ? envp.data() : environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        SetLastError(ErrorOfSpawn(error));
        return FALSE;
    }

    auto process = std::make_shared<ProcessRecord>();
    process->pid = pid;
    processInformation->hProcess = AddHandle(process);
    processInformation->hThread = AddHandle(process);
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);  // the main thread's id is the pid
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::shared_ptr<ProcessRecord> process = ProcessOf(handle);
    if (process == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (TryReap(*process)) return WAIT_OBJECT_0;
    if (milliseconds == INFINITE) {
        // Wait without collecting, outside the lock, so that other callers
        // can still ask for the exit code meanwhile; then collect.
        for (;;) {
            siginfo_t info;
            int result = waitid(P_PID, static_cast<id_t>(process->pid), &info, WEXITED | WNOWAIT);
            if (TryReap(*process)) return WAIT_OBJECT_0;
            if (result != 0 && errno != EINTR) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
        }
    }
    // Poll, sleeping a little longer each time, up to the timeout.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    DWORD step = 1;
    for (;;) {
        Clock::time_point now = Clock::now();
        if (now >= deadline) return TryReap(*process) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        SleepMilliseconds(static_cast<DWORD>(left < step ? left + 1 : step));
        if (TryReap(*process)) return WAIT_OBJECT_0;
        if (step < 16) step *= 2;
    }
}

BOOL GetExitCodeProcess(HANDLE processHandle, LPDWORD exitCode) {
    std::shared_ptr<ProcessRecord> process = ProcessOf(processHandle);
    if (process == nullptr || exitCode == nullptr) {
        SetLastError(process == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!TryReap(*process)) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    std::lock_guard<std::mutex> lock(process->mutex);
    *exitCode = process->exitCode;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    std::unique_ptr<HandleObject> object;
    {
        std::lock_guard<std::mutex> lock(handleMutex);
        auto found = LiveHandles().find(handle);
        if (found == LiveHandles().end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(found->second);
        LiveHandles().erase(found);
    }
    // The last handle of an ended child collects it; a running child left
    // unwaited stays a zombie until this process ends.
    if (object->process.use_count() == 1) TryReap(*object->process);
    return TRUE;
}

void Sleep(DWORD milliseconds) { SleepMilliseconds(milliseconds); }

}  // extern "C"

extern "C" {

// CreateProcessA without waiting, its handles closed at once. The show
// command means nothing here. Results as Windows gives them: above 31 once
// started, else 2 (file not found), 3 (path not found), 11 (not a program)
// or 0 (any other failure).
UINT WinExec(LPCSTR commandLine, UINT /*showCommand*/) {
    if (commandLine == nullptr) return 0;
    std::vector<char> line(commandLine, commandLine + strlen(commandLine) + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        switch (GetLastError()) {
            case ERROR_FILE_NOT_FOUND: return 2;
            case ERROR_PATH_NOT_FOUND: return 3;
            case ERROR_BAD_EXE_FORMAT: return 11;
            default: return 0;
        }
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 33;
}

}  // extern "C"
