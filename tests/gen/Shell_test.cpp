#include "gen/Shell.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/MessageBoxes.h"
#include "support/Sandbox.h"

namespace {

TEST(MailtoField, EncodesOnlyWhatWouldCutOrEscapeTheField) {
    struct Case {
        const char* text;
        const char* field;
    };
    const Case cases[] = {
        {"Save & exit", "Save %26 exit"},
        {"100% #1", "100%25 %231"},
        {"%0D%0A", "%250D%250A"},
        {"a?b=c d\r\n\xe9", "a?b=c d\r\n\xe9"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_STREQ(MailtoField(c.text).data, c.field);
    }
}

struct CommandCase {
    const char* name;
    const char* registered;
    const char* argument;
    const char* line;
};

const CommandCase kCommands[] = {
    // The program path up to ".exe " and the argument; switch and placeholder dropped.
    {"unquoted with switch and placeholder", "C:\\Browser\\Browse.EXE -nohome %1", "http://X.org/A",
     "c:\\browser\\browse.exe http://X.org/A"},
    {"unquoted without placeholder", "C:\\B\\b.exe -new", "u v", "c:\\b\\b.exe u v"},
    // Quoted program path: the argument takes the place of "%1".
    {"quoted with placeholder", "\"C:\\Program Files\\B\\B.exe\" --single-argument \"%1\"",
     "http://x/?a=1&b=2", "\"c:\\program files\\b\\b.exe\" --single-argument \"http://x/?a=1&b=2\""},
    {"placeholder twice", "\"C:\\B\\b.exe\" %1 -title %1", "u", "\"c:\\b\\b.exe\" u -title u"},
    {"argument holding the placeholder", "\"C:\\B\\b.exe\" \"%1\"", "a%1b", "\"c:\\b\\b.exe\" \"a%1b\""},
    // Quoted without placeholder: the whole text, one blank and the argument.
    {"quoted without placeholder", "\"C:\\B\\b.exe\" -nohome", "u", "\"c:\\b\\b.exe\" -nohome u"},
    {"no program extension", "Browser", "U", "browser U"},
    {"empty registration", "", "u", " u"},
};

TEST(BrowserCommandLine, KeepsTheProgramLowerCasedAndPlacesTheArgument) {
    for (const CommandCase& c : kCommands) {
        SCOPED_TRACE(c.name);
        std::vector<char> command(c.registered, c.registered + strlen(c.registered) + 1);
        EXPECT_STREQ(BrowserCommandLine(command.data(), static_cast<unsigned>(strlen(c.registered)), c.argument).data,
                     c.line);
    }
}

TEST(ProtocolHandlerCommand, QuotesTheWholeUrlOnNtAndCutsItElsewhere) {
    std::string url500(500, 'u');
    EXPECT_STREQ(ProtocolHandlerCommand("http://x/a b", true, "C:\\Windows\\system32\\").data,
                 "C:\\Windows\\system32\\rundll32 url.dll,FileProtocolHandler \"http://x/a b\"");
    EXPECT_EQ(std::string(ProtocolHandlerCommand(url500.c_str(), true, "S\\").data),
              "S\\rundll32 url.dll,FileProtocolHandler \"" + url500 + "\"");
    EXPECT_EQ(std::string(ProtocolHandlerCommand(url500.c_str(), false, "S\\").data),
              "start rundll32 url.dll,FileProtocolHandler " + std::string(400, 'u'));
    EXPECT_STREQ(ProtocolHandlerCommand("http://x/a b", false, "S\\").data,
                 "start rundll32 url.dll,FileProtocolHandler http://x/a b");
}

// One line of the record file (see UrlStandin.cpp and the recorder).
struct Record {
    std::string kind;  // "loaded", "opened" or "started"
    std::vector<std::string> fields;
};

std::vector<Record> ParseRecords(const std::string& text) {
    std::vector<Record> records;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        Record record;
        size_t field = 0;
        for (size_t tab; (tab = line.find('\t', field)) != std::string::npos; field = tab + 1)
            record.fields.push_back(line.substr(field, tab - field));
        record.fields.push_back(line.substr(field));
        record.kind = record.fields[0];
        records.push_back(record);
    }
    return records;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The same file, whatever the spelling: separators, case (Windows), Z: prefix.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

const char kCommandKey[] = "http\\shell\\open\\command";

// Each test gets a sandbox holding the record file and the stand-in browser.
// Under Wine the stand-in url.dll is planted in the prefix's system folder
// (Wine's own file is put back afterwards) and the "http" registration is
// saved and restored; natively compat's system folder and registry live in
// the sandbox and its opener is the recorder.
class ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#ifdef _WIN32
        char folder[MAX_PATH] = "";
        GetSystemDirectoryA(folder, sizeof folder);
        systemUrlDll = std::string(folder) + "\\url.dll";
        savedUrlDll = systemUrlDll + ".korvel-saved";
        if (!std::filesystem::exists(savedUrlDll)) CopyFileA(systemUrlDll.c_str(), savedUrlDll.c_str(), TRUE);
        savedCommand = ReadCommand(&hadCommand);
#endif
    }
    static void TearDownTestSuite() {
#ifdef _WIN32
        if (CopyFileA(savedUrlDll.c_str(), systemUrlDll.c_str(), FALSE)) DeleteFileA(savedUrlDll.c_str());
        if (hadCommand)
            Register(savedCommand, REG_SZ);
        else
            Unregister();
#endif
    }

    void SetUp() override {
        SetEnvironmentVariableA("KORVEL_RECORD", record.c_str());
        CopyProgram(HostPath(RECORDER), browser);
#ifdef _WIN32
        PlantUrlDll(URL_STANDIN);
#else
        SetEnvironmentVariableA("COMPAT_REGISTRY", sandbox.Path("registry.reg").c_str());
        SetEnvironmentVariableA("COMPAT_WINDIR", sandbox.Folder("Windows").c_str());
        SetEnvironmentVariableA("COMPAT_URL_OPENER", HostPath(RECORDER).c_str());
#endif
        Unregister();
    }
    void TearDown() override {
        for (const char* name : {"KORVEL_RECORD", "COMPAT_REGISTRY", "COMPAT_WINDIR", "COMPAT_URL_OPENER"})
            SetEnvironmentVariableA(name, nullptr);
    }

#ifdef _WIN32
    // Checks at once that Wine loads the planted file, not its own url.dll.
    void PlantUrlDll(const char* standin) {
        SetEnvironmentVariableA("KORVEL_RECORD", nullptr);
        CopyProgram(HostPath(standin), systemUrlDll);
        HMODULE library = LoadLibraryA(systemUrlDll.c_str());
        bool planted = library && GetProcAddress(library, "KorvelStandin");
        if (library) FreeLibrary(library);
        SetEnvironmentVariableA("KORVEL_RECORD", record.c_str());
        ASSERT_TRUE(planted) << "Wine loads its own url.dll: run with WINEDLLOVERRIDES holding url=n";
    }
#endif

    static std::string ReadCommand(bool* found) {
        HKEY key = nullptr;
        char value[4096] = "";
        DWORD size = sizeof value - 1;
        *found = RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_READ, &key) == ERROR_SUCCESS &&
                 RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
                     ERROR_SUCCESS;
        if (key) RegCloseKey(key);
        return *found ? value : "";
    }
    // Stores bytes as the registration, as they are: no terminator is added.
    static void Register(const std::string& bytes, DWORD type) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, "", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void Unregister() { RegDeleteTreeA(HKEY_CLASSES_ROOT, kCommandKey); }
    // The stand-in browser registered with its path quoted, as current browsers do.
    void RegisterBrowser() {
        Register("\"" + browser + "\" --single-argument \"%1\"" + std::string(1, '\0'), REG_SZ);
    }

    // The records once count lines are there (or after a while: what is
    // there then); with count 0, after the time a stray start would need.
    std::vector<Record> Records(size_t count) const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(count ? 20 : 2);
        std::vector<Record> records = ParseRecords(ReadFileText(record));
        while ((count == 0 || records.size() < count) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            records = ParseRecords(ReadFileText(record));
        }
        return records;
    }

    // The URLs url.dll was asked to open, in order: under Wine the stand-in's
    // records (each with the desktop window, the program's instance and
    // show command 5), natively the recorder run as the opener.
    std::vector<std::string> OpenedUrls(const std::vector<Record>& records) const {
        std::vector<std::string> urls;
        for (const Record& r : records) {
            if (r.kind == "opened" && r.fields.size() == 5) {
                EXPECT_EQ(r.fields[2], "5");
                EXPECT_EQ(r.fields[3], "1") << "not the desktop window";
                EXPECT_EQ(r.fields[4], "1") << "not the program's instance";
                urls.push_back(r.fields[1]);
            } else if (r.kind == "started" && r.fields.size() == 4 && SameFile(r.fields[1], HostPath(RECORDER))) {
                urls.push_back(r.fields[3]);
            }
        }
        return urls;
    }

    // The argument lists the stand-in browser was started with.
    std::vector<std::vector<std::string>> BrowserRuns(const std::vector<Record>& records) const {
        std::vector<std::vector<std::string>> runs;
        for (const Record& r : records)
            if (r.kind == "started" && r.fields.size() >= 3 && SameFile(r.fields[1], browser))
                runs.emplace_back(r.fields.begin() + 3, r.fields.end());
        return runs;
    }

    Sandbox sandbox;
    std::string record = sandbox.Path("record.txt");
    std::string browser = sandbox.Path("browser.exe");

#ifdef _WIN32
    static inline std::string systemUrlDll, savedUrlDll, savedCommand;
    static inline bool hadCommand = false;
#endif
};

using Urls = std::vector<std::string>;
using Runs = std::vector<std::vector<std::string>>;

TEST_F(ShellTest, MailToTurnsLineFeedsIntoEscapesAndEncodesTheSubject) {
    MailTo("someone@example.com", "Save & exit #2\r\nat 100%\nend");
    EXPECT_EQ(OpenedUrls(Records(1)),
              Urls{"mailto:someone@example.com?subject=Save %26 exit %232\r%0D%0Aat 100%25%0D%0Aend"});
}

TEST_F(ShellTest, BrowseUsesTheRegisteredBrowserWithTheArgumentInItsPlace) {
    RegisterBrowser();
    Browse("http://example.com/A?b=1&c=2");
    std::vector<Record> records = Records(1);
    EXPECT_EQ(BrowserRuns(records), (Runs{{"--single-argument", "http://example.com/A?b=1&c=2"}}));
    EXPECT_EQ(OpenedUrls(Records(0)), Urls{});
}

TEST_F(ShellTest, UnquotedRegistrationStartsTheProgramWithTheArgumentOnly) {
    for (char& c : browser) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
#ifndef _WIN32
    browser = Lower(browser);  // a Linux file system tells case apart: name the file as it is lower-cased
#endif
    Register(browser + " -nohome %1", REG_SZ);
    BrowseWeb("Example.com/Path");
    EXPECT_EQ(BrowserRuns(Records(1)), (Runs{{"Example.com/Path"}}));
}

TEST_F(ShellTest, RegistrationWithoutTerminatorOrOfAnotherTypeIsReadToItsEnd) {
    // Without the mend the read runs past the value's bytes: the sanitizers
    // (natively) or garbage after the URL (Wine) show it.
    Register("\"" + browser + "\" \"%1\"", REG_BINARY);
    Browse("http://x/");
    EXPECT_EQ(BrowserRuns(Records(1)), (Runs{{"http://x/"}}));
}

TEST_F(ShellTest, WithoutRegistrationUrlDllOpensTheUrl) {
    Browse("http://example.com/a b");
    BrowseWeb("example.com/c");
    EXPECT_EQ(OpenedUrls(Records(2)), (Urls{"http://example.com/a b", "http://example.com/c"}));
    EXPECT_EQ(BrowserRuns(Records(0)), Runs{});
}

TEST_F(ShellTest, BrowseFileNeverAsksTheRegisteredBrowser) {
    RegisterBrowser();
    BrowseFile("C:\\Data\\form.htm");
    EXPECT_EQ(OpenedUrls(Records(1)), Urls{"file://C:\\Data\\form.htm"});
    EXPECT_EQ(BrowserRuns(Records(0)), Runs{});
}

#ifdef _WIN32
// A url.dll without its handler: rundll32 from the system folder is asked to
// run it, with the whole URL quoted.
TEST_F(ShellTest, UrlDllWithoutHandlerFallsBackToRundll32) {
    PlantUrlDll(URL_STANDIN_NO_HANDLER);
    BoxWatcher watcher;  // in case rundll32 complains in a box
    OpenShell("http://example.com/%s", "x y");
    std::vector<Record> records = Records(2);
    watcher.Stop();
    ASSERT_EQ(records.size(), 2u);
    // First this program's own load, then rundll32's.
    EXPECT_EQ(records[1].kind, "loaded");
    ASSERT_EQ(records[1].fields.size(), 3u);
    EXPECT_NE(Lower(records[1].fields[2]).find("rundll32"), std::string::npos) << records[1].fields[2];
    EXPECT_NE(records[1].fields[2].find(" url.dll,FileProtocolHandler \"http://example.com/x y\""),
              std::string::npos)
        << records[1].fields[2];
}

// A url.dll planted in the program's own folder is not the one loaded.
TEST_F(ShellTest, UrlDllComesFromTheSystemFolderOnly) {
    sandbox.Folder("bin");
    CopyProgram(HostPath(SHELL_PROBE), sandbox.Path("bin\\probe.exe"));
    CopyProgram(HostPath(URL_STANDIN), sandbox.Path("bin\\url.dll"));
    std::string program = sandbox.Path("bin\\probe.exe");
    EXPECT_EQ(RunAndWait(program, "\"" + program + "\" http://example.com/"), 0);
    std::vector<Record> records = Records(2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].kind, "loaded");
    EXPECT_TRUE(SameFile(records[0].fields[1], systemUrlDll)) << records[0].fields[1];
    EXPECT_EQ(records[1].kind, "opened");
    EXPECT_EQ(records[1].fields[1], "http://example.com/");
}
#endif

}  // namespace
