// compat's registry file: a .reg fixture loads as regedit imports it, and
// writes leave a valid REGEDIT4 file. Built natively only, since under Wine
// COMPAT_REGISTRY means nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
    return out;
}

std::vector<BYTE> Bytes(const char* text, size_t size) { return std::vector<BYTE>(text, text + size); }

// A value as it reads back: the query's status, its type and its bytes.
struct ValueRead {
    LONG status;
    DWORD type;
    std::vector<BYTE> data;
};

ValueRead ReadValue(HKEY key, const char* name) {
    ValueRead read{ERROR_SUCCESS, REG_NONE, std::vector<BYTE>(128)};
    DWORD size = static_cast<DWORD>(read.data.size());
    read.status = RegQueryValueExA(key, name, nullptr, &read.type, read.data.data(), &size);
    read.data.resize(read.status == ERROR_SUCCESS ? size : 0);
    return read;
}

// A folder of the test's own, COMPAT_REGISTRY naming registry.reg in it; the
// variable's previous value is put back afterwards.
class RegFile : public ::testing::Test {
protected:
    void SetUp() override {
        char old[4096];
        DWORD length = GetEnvironmentVariableA("COMPAT_REGISTRY", old, sizeof old);
        hadPrevious = length > 0 && length < sizeof old;
        if (hadPrevious) previous = old;
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        folder = fs::temp_directory_path() / ("compat-regfile-" + std::to_string(stamp));
        fs::create_directories(folder);
        file = folder / "registry.reg";
        SetEnvironmentVariableA("COMPAT_REGISTRY", file.string().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("COMPAT_REGISTRY", hadPrevious ? previous.c_str() : nullptr);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
    fs::path file;
    bool hadPrevious = false;
    std::string previous;
};

const char kFixture[] = R"(REGEDIT4

; a comment line
[HKEY_CURRENT_USER\Software\CompatFixture]
@="C:\\Program Files\\\"Quoted\""
"Number"=dword:0000002a
"Path"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,61,00
"Blob"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\
  18,19,1a,ff
"Gone"="soon"
"GONE"=-

[HKEY_CURRENT_USER\Software\CompatFixture\Sub\Deep]
"v"="1"

[-HKEY_CURRENT_USER\Software\CompatFixture\Sub\Deep]

[hkey_current_user\software\compatfixture]
"Later"="merged"

[HKEY_LOCAL_MACHINE\Software\Wow6432Node\CompatFixture]
"View"="32"
)";

TEST_F(RegFile, FixtureLoadsAsRegeditImportsIt) {
    WriteAll(file, WithCrLf(kFixture));
    std::vector<BYTE> blob;
    for (int i = 0; i <= 0x1a; ++i) blob.push_back(static_cast<BYTE>(i));
    blob.push_back(0xff);
    const struct {
        HKEY root;
        REGSAM view;
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {HKEY_CURRENT_USER, 0, "", REG_SZ, Bytes("C:\\Program Files\\\"Quoted\"", 26)},
        {HKEY_CURRENT_USER, 0, "Number", REG_DWORD, {0x2a, 0, 0, 0}},
        {HKEY_CURRENT_USER, 0, "Path", REG_EXPAND_SZ, Bytes("%SystemRoot%\\a", 15)},
        {HKEY_CURRENT_USER, 0, "Blob", REG_BINARY, blob},
        {HKEY_CURRENT_USER, 0, "Later", REG_SZ, Bytes("merged", 7)},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "View", REG_SZ, Bytes("32", 3)},
    };
    for (const auto& c : cases) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(c.root, "Software\\CompatFixture", 0, KEY_READ | c.view, &key)) << c.name;
        ValueRead read = ReadValue(key, c.name);
        ASSERT_EQ(ERROR_SUCCESS, read.status) << c.name;
        EXPECT_EQ(c.type, read.type) << c.name;
        EXPECT_EQ(c.data, read.data) << c.name;
        RegCloseKey(key);
    }

    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\CompatFixture", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\CompatFixture\\Sub\\Deep", 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\CompatFixture\\Sub", 0, KEY_READ, &key));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\CompatFixture", 0, KEY_READ, &key));
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Gone", nullptr, nullptr, nullptr, &size));

    // Reads are answered from a copy checked against the file: a change to
    // it, as by another process, shows at once, even one that keeps its size
    // and changes only its modification time; so does its removal.
    const std::string changed = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\CompatFixture]\n\"Number\"=dword:0000000";
    for (char digit : {'7', '8'}) {
        WriteAll(file, changed + digit + "\n");
        if (digit == '8') fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(5));
        BYTE number[4] = {};
        size = sizeof number;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Number", nullptr, nullptr, number, &size));
        EXPECT_EQ(digit - '0', number[0]);
    }
    fs::remove(file);
    EXPECT_EQ(1018, RegQueryValueExA(key, "Number", nullptr, nullptr, nullptr, &size));  // ERROR_KEY_DELETED
    RegCloseKey(key);
}

TEST_F(RegFile, WritesLeaveAValidRegeditFile) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Spelled\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    std::vector<BYTE> blob(100, 0xab);
    const struct {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } values[] = {
        {"Text", REG_SZ, Bytes("a \"b\" c:\\d", 11)},
        {"Lines", REG_SZ, Bytes("x\r\ny", 5)},
        {"Raw", REG_SZ, Bytes("abc", 3)},
        {"Empty", REG_SZ, {}},
        {"Number", REG_DWORD, {0x2a, 0, 0, 0}},
        {"Blob", REG_BINARY, blob},
        {"", REG_EXPAND_SZ, Bytes("%TEMP%", 7)},
    };
    for (const auto& v : values) {
        // "Raw" is given with a byte after it, so that its NUL is not counted in.
        std::vector<BYTE> data = v.data;
        data.push_back('X');
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, v.name, 0, v.type, data.data(), static_cast<DWORD>(v.data.size())));
    }
    HKEY other = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\SPELLED\\Other", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &other, nullptr));
    RegCloseKey(other);

    std::string text = ReadAll(file);
    EXPECT_EQ(0u, text.rfind("REGEDIT4\r\n\r\n", 0)) << text;
    // Keys keep the spelling they were made with; the notation is regedit's.
    for (const char* line : {"\r\n[HKEY_CURRENT_USER\\Software\\Spelled\\Other]\r\n",
                             "\r\n\"Text\"=\"a \\\"b\\\" c:\\\\d\"\r\n", "\r\n\"Number\"=dword:0000002a\r\n",
                             "\r\n@=hex(2):25,54,45,4d,50,25,00\r\n"}) {
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\nin\n" << text;
    }

    // Each value reads back from the file as it was given.
    for (const auto& v : values) {
        ValueRead read = ReadValue(key, v.name);
        ASSERT_EQ(ERROR_SUCCESS, read.status) << v.name;
        EXPECT_EQ(v.type, read.type) << v.name;
        EXPECT_EQ(v.data, read.data) << v.name;
    }
    // regedit wraps long hex lists; no line is longer than its 80 columns.
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
    }
    // Rewriting a value with its own data reproduces the file byte for byte:
    // the file reads back as exactly the registry that was written.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Number", 0, REG_DWORD, values[4].data.data(), 4));
    EXPECT_EQ(text, ReadAll(file));
    RegCloseKey(key);

    // The temporary file each write goes through has replaced the registry file.
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path());
    EXPECT_EQ(std::vector<fs::path>{file}, left);
}

TEST_F(RegFile, MissingOrUnusableFiles) {
    const char kNoFile[] = "\x01";  // marks a case with no file written
    const struct {
        const char* what;
        const char* contents;
        bool variable;
        const char* name;  // of the file in the test's folder
        LONG open;
        LONG create;
    } cases[] = {
        {"no variable", kNoFile, false, "registry.reg", ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED},
        {"no file", kNoFile, true, "registry.reg", ERROR_FILE_NOT_FOUND, ERROR_SUCCESS},
        {"no folder", kNoFile, true, "missing/registry.reg", ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND},
        {"empty file", "", true, "registry.reg", ERROR_FILE_NOT_FOUND, ERROR_SUCCESS},
        {"LF line ends", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\X]\n", true, "registry.reg", ERROR_SUCCESS,
         ERROR_SUCCESS},
        {"not a .reg file", "[Sec]\r\nkey=value\r\n", true, "registry.reg", 1009, 1009},  // ERROR_BADDB
    };
    for (const auto& c : cases) {
        fs::path path = folder / c.name;
        fs::remove(path);
        if (std::string(c.contents) != kNoFile) WriteAll(path, c.contents);
        SetEnvironmentVariableA("COMPAT_REGISTRY", c.variable ? path.string().c_str() : nullptr);

        HKEY key = nullptr;
        EXPECT_EQ(c.open, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, KEY_READ, &key)) << c.what;
        if (key != nullptr) RegCloseKey(key);
        key = nullptr;
        EXPECT_EQ(c.create, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                            &key, nullptr))
            << c.what;
        if (key != nullptr) RegCloseKey(key);

        std::string after = ReadAll(path);
        if (c.create == ERROR_SUCCESS) {
            EXPECT_EQ(0u, after.rfind("REGEDIT4", 0)) << c.what;
        } else if (std::string(c.contents) != kNoFile) {
            EXPECT_EQ(c.contents, after) << c.what;  // a failed write leaves the file alone
        }
    }
}

}  // namespace
