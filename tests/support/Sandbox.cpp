#include "support/Sandbox.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The platform choices of this file: Windows names folders with '\', sees
// the build's Unix paths through drive Z: (Wine maps / there), and its
// filesystem library reads narrow paths in another code page than the
// process's ANSI one, so paths cross to it as wide texts.
#ifdef _WIN32
const char kSeparator = '\\';
const char kHostPrefix[] = "Z:";

std::string NarrowPath(const fs::path& path) {
    const std::wstring& wide = path.native();
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(bytes > 1 ? bytes - 1 : 0, '\0');
    if (bytes > 1) WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &narrow[0], bytes, nullptr, nullptr);
    return narrow;
}

fs::path LibraryPath(const std::string& path) {
    int count = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(count > 1 ? count - 1 : 0, L'\0');
    if (count > 1) MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], count);
    return wide;
}
#else
const char kSeparator = '/';
const char kHostPrefix[] = "";

std::string NarrowPath(const fs::path& path) { return path.string(); }
fs::path LibraryPath(const std::string& path) { return path; }
#endif

std::string WithSeparators(std::string path) {
    for (char& c : path)
        if (c == '/' || c == '\\') c = kSeparator;
    return path;
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

}  // namespace

Sandbox::Sandbox() {
    static std::atomic<unsigned> counter{0};
    // Canonical, so that it matches the paths programs report for themselves.
    fs::path temp = fs::canonical(fs::temp_directory_path());
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::ostringstream name;
        name << "korvel-test-" << std::hex << (stamp & 0xFFFFFFFF) << '-' << counter++;
        fs::path candidate = temp / name.str();
        if (fs::create_directory(candidate)) {
            root = WithoutTrailingSeparators(WithSeparators(NarrowPath(candidate)));
            return;
        }
    }
}

Sandbox::~Sandbox() {
    std::error_code ignored;
    fs::remove_all(FsPath(root), ignored);
}

std::string Sandbox::Path(const std::string& relative) const {
    return root + kSeparator + WithSeparators(relative);
}

std::string Sandbox::Folder(const std::string& relative) const {
    std::string path = Path(relative);
    fs::create_directories(FsPath(path));
    return path;
}

fs::path FsPath(const std::string& path) { return LibraryPath(path); }

std::string HostPath(const std::string& buildPath) {
    return kHostPrefix + WithSeparators(buildPath);
}

void CopyProgram(const std::string& source, const std::string& destination) {
    fs::copy_file(FsPath(source), FsPath(destination), fs::copy_options::overwrite_existing);
    fs::permissions(FsPath(destination), fs::perms::owner_all, fs::perm_options::add);
}

std::string ReadFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
}

std::vector<std::string> SplitFields(const std::string& line, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

std::vector<std::string> CompleteLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string WaitForLines(const std::string& path, size_t count, std::chrono::milliseconds wait,
                         std::chrono::milliseconds settle) {
    if (count == 0) {
        std::this_thread::sleep_for(settle);
        return ReadFileText(path);
    }
    auto deadline = std::chrono::steady_clock::now() + wait;
    std::string text = ReadFileText(path);
    while (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) < count &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        text = ReadFileText(path);
    }
    return text;
}

std::string ProfileText(const std::string& file, const char* section, const char* key) {
    char text[2048];
    GetPrivateProfileStringA(section, key, "(missing)", text, sizeof text, file.c_str());
    return text;
}

long RunAndWait(const std::string& program, const std::string& commandLine,
                const std::string& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return -1000 - static_cast<long>(GetLastError());
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int32_t>(code);
}

void MakeSearchFixture(const Sandbox& sandbox) {
    std::ofstream(sandbox.Path("a.txt"), std::ios::binary) << "12345";
    std::ofstream(sandbox.Path("B.TXT"), std::ios::binary);
    std::ofstream(sandbox.Path("noext"), std::ios::binary);
    sandbox.Folder("subdir");
}
