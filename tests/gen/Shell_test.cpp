#include "gen/Shell.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ShellFixture.h"

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
    {"unquoted without placeholder", "C:\\B\\b.exe -new", "u", "c:\\b\\b.exe u"},
    // Quoted program path: the argument takes the place of "%1".
    {"quoted with placeholder", "\"C:\\Program Files\\B\\B.exe\" --single-argument \"%1\"",
     "http://x/?a=1&b=2", "\"c:\\program files\\b\\b.exe\" --single-argument \"http://x/?a=1&b=2\""},
    {"placeholder twice", "\"C:\\B\\b.exe\" %1 -title %1", "u", "\"c:\\b\\b.exe\" u -title u"},
    {"argument holding the placeholder", "\"C:\\B\\b.exe\" \"%1\"", "a%1b", "\"c:\\b\\b.exe\" \"a%1b\""},
    // Quoted without placeholder: the whole text, one blank and the argument.
    {"quoted without placeholder", "\"C:\\B\\b.exe\" -nohome", "u", "\"c:\\b\\b.exe\" -nohome u"},
    {"no program extension", "Browser", "U", "browser U"},
    // Nothing to start: no command line at all.
    {"empty registration", "", "u", ""},
    {"blank registration", " \t \r\n", "u", ""},
    // What would end the argument's quotes or split it is percent-encoded in
    // every shape; control characters with it.
    {"unquoted, quote blank and tab", "C:\\B\\b.exe %1", "http://x/?q=a\" -b \"c\td",
     "c:\\b\\b.exe http://x/?q=a%22%20-b%20%22c%09d"},
    {"quoted, quote blank and tab", "\"C:\\B\\b.exe\" \"%1\"", "x\" \ty",
     "\"c:\\b\\b.exe\" \"x%22%20%09y\""},
    {"without placeholder, quote blank and tab", "\"C:\\B\\b.exe\"", "x\" \ty", "\"c:\\b\\b.exe\" x%22%20%09y"},
    {"control characters", "b.exe %1", "a\rb\nc\x01\x1f\x7f", "b.exe a%0Db%0Ac%01%1F%7F"},
    // Every other byte stays as it is, '%' and escapes included.
    {"URL of other characters", "b.exe %1", "http://x/%22?a=1&b=%ZZ#\xce\xa9'<>^|\\", "b.exe http://x/%22?a=1&b=%ZZ#\xce\xa9'<>^|\\"},
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
    // A quote would end the URL's quotes (or open some): encoded, as are
    // control characters; blanks stay, inside the quotes.
    EXPECT_STREQ(ProtocolHandlerCommand("http://x/?q=a\" -b \"c\td\r", true, "S\\").data,
                 "S\\rundll32 url.dll,FileProtocolHandler \"http://x/?q=a%22 -b %22c%09d%0D\"");
    EXPECT_STREQ(ProtocolHandlerCommand("http://x/\"a b", false, "S\\").data,
                 "start rundll32 url.dll,FileProtocolHandler http://x/%22a b");
}


TEST_F(ShellTest, MailToTurnsLineFeedsIntoEscapesAndEncodesTheSubject) {
    MailTo("someone@example.com", "Save & exit #2\r\nat 100%\nend");
    EXPECT_EQ(OpenedUrls(Records(1)),
              Urls{"mailto:someone@example.com?subject=Save %26 exit %232\r%0D%0Aat 100%25%0D%0Aend"});
}

// '?' or '&' would start the URL's fields inside the address (a "bcc"
// added to every report), '#' end it and '%' start an escape.
TEST_F(ShellTest, MailToEncodesWhatWouldEndOrEscapeTheAddress) {
    struct Case {
        const char* address;
        const char* url;
    };
    const Case cases[] = {
        {"support@example.com?bcc=other@example.net&x=",
         "mailto:support@example.com%3Fbcc=other@example.net%26x=?subject=S"},
        {"a#b%41@example.com", "mailto:a%23b%2541@example.com?subject=S"},
        {"\"Some One\" <some.one+tag@example.com>", "mailto:\"Some One\" <some.one+tag@example.com>?subject=S"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        WriteFileText(record, "");
        MailTo(c.address, "S");
        EXPECT_EQ(OpenedUrls(Records(1)), Urls{c.url});
    }
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

// A URL that would end its quotes or split apart reaches the browser as one
// argument, encoded, whatever the registration's shape.
TEST_F(ShellTest, UrlArrivesAsOneEncodedArgumentInEveryRegisteredShape) {
    struct Case {
        const char* shape;
        std::string registration;
        std::vector<std::string> before;  // the registration's own arguments
    };
    const Case cases[] = {
        {"quoted with placeholder", "\"" + browser + "\" --single-argument \"%1\"", {"--single-argument"}},
        {"unquoted program", browser + " -nohome %1", {}},
        {"without placeholder", "\"" + browser + "\" -nohome", {"-nohome"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape);
        WriteFileText(record, "");
        Register(c.registration + '\0', REG_SZ);
        Browse("http://x/?q=a\" --gpu-launcher=\"calc\" \"b\tc");
        std::vector<std::string> expected = c.before;
        expected.push_back("http://x/?q=a%22%20--gpu-launcher=%22calc%22%20%22b%09c");
        EXPECT_EQ(BrowserRuns(Records(1)), Runs{expected});
    }
    WriteFileText(record, "");
    Register(browser + " %1", REG_SZ);
    BrowseWeb("Example.COM/x y");
    EXPECT_EQ(BrowserRuns(Records(1)), (Runs{{"Example.COM/x%20y"}}));
}

// An empty or blank command would have the system look for a program named
// like the URL ("www.example.com" is one).
TEST_F(ShellTest, EmptyOrBlankRegistrationCountsAsNone) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", std::string(1, '\0')},
        {"no bytes", ""},
        {"blanks and tabs", std::string(" \t  \0", 5)},
        {"blanks without terminator", "  "},
        {"text behind a first NUL", std::string("\0\"b.exe\" %1", 11)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(record, "");
        Register(c.bytes, REG_SZ);
        EXPECT_FALSE(OpenInDefaultBrowser("www.example.com"));
        BrowseWeb("www.example.com");
        EXPECT_EQ(OpenedUrls(Records(1)), Urls{"http://www.example.com"});
    }
    EXPECT_EQ(BrowserRuns(Records(0)), Runs{});
}

TEST_F(ShellTest, RegistrationWithoutTerminatorOrOfAnotherTypeIsReadToItsEnd) {
    // Without the mend the read runs past the value's bytes: the sanitizers
    // (natively) or garbage after the URL (Wine) show it.
    Register("\"" + browser + "\" \"%1\"", REG_BINARY);
    Browse("http://x/");
    EXPECT_EQ(BrowserRuns(Records(1)), (Runs{{"http://x/"}}));
}

// url.dll's handler takes the URL as one argument: nothing is encoded for it.
TEST_F(ShellTest, WithoutRegistrationUrlDllOpensTheUrl) {
    Browse("http://example.com/a b\"c");
    BrowseWeb("example.com/c");
    // Natively the two openers run at once and may record in either order.
    Urls urls = OpenedUrls(Records(2));
    std::sort(urls.begin(), urls.end());
    EXPECT_EQ(urls, (Urls{"http://example.com/a b\"c", "http://example.com/c"}));
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
// run it, with the whole URL quoted and a quote in it encoded.
TEST_F(ShellTest, UrlDllWithoutHandlerFallsBackToRundll32) {
    PlantSystemDll(systemUrlDll, URL_STANDIN_NO_HANDLER);
    BoxWatcher watcher;  // in case rundll32 complains in a box
    OpenShell("http://example.com/%s", "x y\" -z");
    std::vector<Record> records = Records(2);
    watcher.Stop();
    ASSERT_EQ(records.size(), 2u);
    // First this program's own load, then rundll32's.
    EXPECT_EQ(records[1].kind, "loaded");
    ASSERT_EQ(records[1].fields.size(), 3u);
    const std::string& rundll32 = records[1].fields[2];
    EXPECT_NE(Lower(rundll32).find("rundll32"), std::string::npos) << rundll32;
    size_t at = rundll32.find(" url.dll,");
    ASSERT_NE(at, std::string::npos) << rundll32;
    EXPECT_EQ(rundll32.substr(at), " url.dll,FileProtocolHandler \"http://example.com/x y%22 -z\"");
}

// Off the NT family the fallback is "start rundll32 ..." with the URL cut to
// its first 400 characters: a probe copy told to be Windows 98 opens a URL of
// 500, and rundll32 gets what start passes on.
TEST_F(ShellTest, FallbackOffTheNtFamilyCutsTheUrl) {
    PlantSystemDll(systemUrlDll, URL_STANDIN_NO_HANDLER);
    HKEY settings = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\shell-win98.exe", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &settings, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(settings, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(settings);
    std::string program = sandbox.Path("shell-win98.exe");
    CopyProgram(HostPath(SHELL_PROBE), program);
    std::string url = "http://example.com/" + std::string(481, 'u');

    BoxWatcher watcher;  // in case rundll32 complains in a box
    EXPECT_EQ(RunAndWait(program, "\"" + program + "\" " + url), 0);
    std::vector<Record> records = Records(2);
    watcher.Stop();
    ASSERT_EQ(records.size(), 2u);
    const std::string& rundll32 = records[1].fields[2];
    EXPECT_NE(Lower(rundll32).find("rundll32"), std::string::npos) << rundll32;
    size_t at = rundll32.find("url.dll,FileProtocolHandler ");
    ASSERT_NE(at, std::string::npos) << rundll32;
    std::string passed = rundll32.substr(at + 28);
    EXPECT_EQ(passed.substr(0, passed.find_last_not_of(' ') + 1), url.substr(0, 400));
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
