// The settings tool end to end: run as a person runs it, against INI files
// and (under Wine) the real registry, its output read back.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gen/Ini.h"
#include "support/Sandbox.h"

namespace {

struct Output {
    int status;
    std::string text;  // standard output and standard error
};

// One argument quoted for the shell popen starts: cmd under Windows, sh here.
std::string Quoted(const std::string& argument) {
#ifdef _WIN32
    return "\"" + argument + "\"";
#else
    return "'" + argument + "'";
#endif
}

Output Settings(const std::string& arguments) {
    std::string line = Quoted(HostPath(SETTINGS_PROGRAM)) + " " + arguments + " 2>&1";
#ifdef _WIN32
    // cmd drops the outer quotes of a line that begins with one.
    FILE* pipe = _popen(("\"" + line + "\"").c_str(), "r");
#else
    FILE* pipe = popen(line.c_str(), "r");
#endif
    Output output{-1, ""};
    if (!pipe) return output;
    char buffer[512];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.text.append(buffer, count);
#ifdef _WIN32
    output.status = _pclose(pipe);
#else
    int status = pclose(pipe);
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    output.text.erase(output.text.find_last_not_of("\r\n") + 1);
    return output;
}

class SettingsTool : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironmentVariableA("COMPAT_REGISTRY", sandbox.Path("registry.reg").c_str());
        WriteFileText(ini, "[Report]\r\nKey=CADBBE3Dabc\r\nBroken=12345678abc\r\nBytes=0003 01 AB FF\r\n");
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\GenSettingsTool");
        SetEnvironmentVariableA("COMPAT_REGISTRY", nullptr);
    }

    Sandbox sandbox;
    std::string ini = sandbox.Path("Korvel.INI");
    std::string file = Quoted("--file") + " " + Quoted(ini);
};

TEST_F(SettingsTool, ReadsAndWritesCheckSummedValuesInPlainText) {
    Output read = Settings("read " + Quoted("|" + ini + "|Report|!Key"));
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.text, "abc");

    Output written = Settings(file + " write " + Quoted("Report|!Key") + " " + Quoted("new text"));
    EXPECT_EQ(written.status, 0) << written.text;
    EXPECT_EQ(ProfileText(ini, "Report", "Key"), "4B1B9BFBnew text");
    EXPECT_EQ(Settings(file + " read " + Quoted("Report|!Key")).text, "new text");

    Settings(file + " write " + Quoted("Report|@Secret") + " " + Quoted(" padded secret "));
    EXPECT_EQ(Settings(file + " read " + Quoted("Report|@Secret")).text, " padded secret ");
    EXPECT_EQ(ProfileText(ini, "Report", "Secret"), ChecksumValue(ScrambleText(Str(" padded secret ")).data).data);

    Output missing = Settings(file + " read " + Quoted("Report|Nothing"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.text, ini + " [Report] Nothing= not found");
}

// A value and a settings folder the system's ANSI code page lacks come back
// whole, and the file holds the value's UTF-8 bytes.
TEST_F(SettingsTool, TextsOutsideTheCodePageRoundTrip) {
    sandbox.Folder("Ωmega данные 日本語");
    const std::string unicodeIni = sandbox.Path("Ωmega данные 日本語\\Korvel.INI");
    const std::string value = "Ωmega данные 日本語";
    for (const char* key : {"Report|Plain", "Report|!Sum"}) {
        SCOPED_TRACE(key);
        Output written = Settings(Quoted("--file") + " " + Quoted(unicodeIni) + " write " + Quoted(key) + " " +
                                  Quoted(value));
        EXPECT_EQ(written.status, 0) << written.text;
        Output read = Settings("read " + Quoted("|" + unicodeIni + "|" + key));
        EXPECT_EQ(read.status, 0) << read.text;
        EXPECT_EQ(read.text, value);
    }
    EXPECT_EQ(ProfileText(unicodeIni, "Report", "Plain"), value);
    EXPECT_NE(ReadFileText(unicodeIni).find("Sum=" + std::string(ChecksumValue(value.c_str()).data)),
              std::string::npos);
}

// "Korvel" scrambles to a form holding the byte 0x84, which the UTF-8 code
// page the tool declares on Windows cannot hold: there the write stores
// nothing and says so, where stored it would fail its check sum on every
// read. compat's code page holds every byte, so natively it round-trips.
TEST_F(SettingsTool, AScrambledFormTheCodePageCannotHoldIsNotStored) {
    const std::string before = ReadFileText(ini);
    Output written = Settings(file + " write " + Quoted("Report|@Name") + " " + Quoted("Korvel"));
    Output read = Settings(file + " read " + Quoted("Report|@Name"));
#ifdef _WIN32
    EXPECT_EQ(written.status, 4) << written.text;
    EXPECT_EQ(read.status, 2) << read.text;
    EXPECT_EQ(ReadFileText(ini), before);
#else
    EXPECT_EQ(written.status, 0) << written.text;
    EXPECT_EQ(read.text, "Korvel");
#endif
}

TEST_F(SettingsTool, ABrokenCheckSumIsReported) {
    Output broken = Settings(file + " read " + Quoted("Report|!Broken"));
    EXPECT_EQ(broken.status, 3);
    EXPECT_NE(broken.text.find("Assertion failed at '..\\gen\\Ini.cpp' line 86"), std::string::npos) << broken.text;
    EXPECT_EQ(ProfileText(ini, "Report", "Broken"), "12345678abc");
}

TEST_F(SettingsTool, BytesCodecRegistryAndHelp) {
    Output bytes = Settings(file + " bytes " + Quoted("Report|Bytes") + " 3");
    EXPECT_EQ(bytes.status, 0);
    EXPECT_EQ(bytes.text, "01 AB FF");
    EXPECT_EQ(Settings(file + " bytes " + Quoted("?Report|Bytes") + " 2").status, 2);

    Output hex = Settings("encode " + Quoted("hello world"));
    EXPECT_EQ(hex.text.size(), 22u);
    EXPECT_EQ(Settings("decode " + hex.text).text, "hello world");

    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\GenSettingsTool", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string path = "|HKEY_CURRENT_USER|Software\\GenSettingsTool|!Value";
    EXPECT_EQ(Settings("write " + Quoted(path) + " " + Quoted("abc")).status, 0);
    char text[32] = "";
    DWORD size = sizeof text;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\GenSettingsTool", &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "Value", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(text, "CADBBE3Dabc");
    EXPECT_EQ(Settings("read " + Quoted(path)).text, "abc");

    Output help = Settings("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.text.find("usage: settings"), std::string::npos);
    EXPECT_EQ(Settings("frobnicate").status, 1);
}

// The system's text for the error a write in this process meets, as the
// tool should print it.
std::string WriteError(bool (*write)(const char* path), const std::string& path) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(write(path.c_str()));
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, text,
                   sizeof text, nullptr);
    std::string message = text;
    message.erase(message.find_last_not_of("\r\n ") + 1);
    EXPECT_FALSE(message.empty());
    return message;
}

TEST_F(SettingsTool, AWriteThatIsNotStoredFailsWithTheSystemsReason) {
    // A folder that does not exist, a key the INI format cannot hold.
    const std::string lost = "|" + sandbox.Path("Нет/Korvel.INI") + "|S|K";
    const std::string unheld = "|" + ini + "|S|a=b";
    for (const std::string& path : {lost, unheld}) {
        SCOPED_TRACE(path);
        Output written = Settings("write " + Quoted(path) + " " + Quoted("v"));
        EXPECT_EQ(written.status, 4);
        EXPECT_NE(written.text.find(WriteError([](const char* p) { return WriteSetting(p, "v"); }, path)),
                  std::string::npos)
            << written.text;
    }
    // bytes writes the array where none is stored; that fails too.
    Output bytes = Settings("bytes " + Quoted(lost) + " 2");
    EXPECT_EQ(bytes.status, 4);
    EXPECT_NE(bytes.text.find(WriteError(
                  [](const char* p) {
                      const unsigned char none[2] = {};
                      return WriteSettingBytes(p, none, 2);
                  },
                  lost)),
              std::string::npos)
        << bytes.text;
    EXPECT_EQ(ReadFileText(sandbox.Path("Нет/Korvel.INI")), "");
}

}  // namespace
