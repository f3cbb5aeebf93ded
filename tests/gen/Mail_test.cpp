#include "gen/Mail.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "Raises.h"
#include "ShellFixture.h"
#include "gen/Pathw32.h"

namespace {

TEST(MapiErrorText, GivesTheTextOfEachListedCodeAndNothingElse) {
    struct Case {
        unsigned code;
        const char* text;
    };
    const Case cases[] = {
        {1, "The user canceled one of the dialog boxes.\nNo message was sent."},
        {2, "\nOne or more unspecified errors occurred while \nreading the message."},
        {3, "There was no default logon, and the user failed\nto log on successfully when the logon dialog "
            "box\nwas displayed. No message was sent."},
        {4, "An attachment could not be written to a temporary file\nbecause there was not enough space on "
            "the disk."},
        {5, "There was insufficient memory to read the message."},
        {8, "The user had too many sessions open simultaneously.\nNo session handle was returned."},
        {9, "There were too many file attachments in the message.\nThe message could not be read."},
        {10, "There were too many recipients of the message.\nThe message could not be read."},
        {11, "The specified attachment was not found. No message \nwas sent."},
        {12, "The specified attachment could not be opened. \nNo message was sent."},
        {13, "An attachment could not be written to a temporary file.\nCheck directory permissions."},
        {14, "A recipient did not appear in the address list.\nNo message was sent."},
        {15, "The type of a recipient was not MAPI_TO, MAPI_CC, or \nMAPI_BCC. No message was sent."},
        {17, "An invalid message identifier was passed in the \nlpszMessageID parameter."},
        {18, "The text in the message was too large.\nNo message was sent."},
        {19, "An invalid session handle was passed in the \nlhSession parameter. No message was retrieved."},
        {21, "A recipient matched more than one of the \nrecipient descriptor structures and MAPI_DIALOG "
             "\nwas not set. No message was sent. "},
        {25, "One or more recipients were invalid or did\nnot resolve to any address."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_STREQ(MapiErrorText(c.code).data, c.text);
    }
    for (unsigned code : {0u, 6u, 7u, 16u, 20u, 22u, 23u, 24u, 26u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(MapiErrorText(code).data, EmptyText);
    }
}

TEST(HtmlEscape, WritesTheFourSpecialCharactersAsReferences) {
    EXPECT_STREQ(HtmlEscape("</textarea><script>a & \"b\" 'c'").data,
                 "&lt;/textarea&gt;&lt;script&gt;a &amp; &quot;b&quot; 'c'");
    EXPECT_STREQ(HtmlEscape("&amp;").data, "&amp;amp;");
}

// The copy as the C runtime reads it back: text mode, so line ends are "\n"
// on both platforms.
std::string ReadText(const std::string& path) {
    std::string text = ReadFileText(path), plain;
    for (char c : text)
        if (c != '\r') plain += c;
    return plain;
}

class MailFormTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        SetEnvironmentVariableA("TMP", sandbox.Folder("temp").c_str());
        SetCurrentFolder(sandbox.Folder("work").c_str());
    }
    void TearDown() override {
        SetCurrentFolder(previousFolder.data);
        SetEnvironmentVariableA("TMP", previousTmp.empty() ? nullptr : previousTmp.c_str());
        ShellTest::TearDown();
    }
    void WriteForm(const std::string& text) { WriteFileText(sandbox.Path("work\\form.htm"), text); }
    // The files of the temporary folder, the copies among them.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(sandbox.Path("temp")))
            files.push_back(entry.path().string());
        return files;
    }
    // The one copy there is, its path as FillMailForm returned it.
    std::string Copy() const {
        std::vector<std::string> files = TempFiles();
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : files[0];
    }

    Str previousFolder = CurrentFolder();
    std::string previousTmp = [] {
        char value[MAX_PATH] = "";
        DWORD length = GetEnvironmentVariableA("TMP", value, sizeof value);
        return length > 0 && length < sizeof value ? std::string(value) : std::string();
    }();
};

TEST_F(MailFormTest, FillsTwoValuesAndTheTextareaEscapedAndLeavesTheRestAlone) {
    WriteForm("<form>\n"
              "<input name=to value=\"\">\n"
              "<input name=subject value=\"old\">\n"
              "<input name=cc value=\"\">\n"
              "<textarea name=body rows=5>\n"
              "</textarea><p>value=\"x\" <textarea name=more\n"
              "</form>\n");
    Str copy = FillMailForm("form.htm", "a@b.org", "Save & \"exit\"", "</textarea><script>x</script>");
    EXPECT_TRUE(SameFile(copy.data, Copy())) << copy.data;
    EXPECT_EQ(ReadText(Copy()),
              "<form>\n"
              "<input name=to value=\"a@b.org\"\">\n"
              "<input name=subject value=\"Save &amp; &quot;exit&quot;\"old\">\n"
              "<input name=cc value=\"\"\">\n"
              "<textarea name=body rows=5>&lt;/textarea&gt;&lt;script&gt;x&lt;/script&gt;\n"
              // A "<textarea" without '>' after it: copied as it is, its value too.
              "</textarea><p>value=\"x\" <textarea name=more\n"
              "</form>\n");
}

TEST_F(MailFormTest, ReadsTheFormInPiecesOfAtMost255Characters) {
    // The second piece of the long line starts with the form's first value.
    WriteForm(std::string(255, '-') + "value=\"\" value=\"\"\nlast line without line feed");
    FillMailForm("form.htm", "A", "S", "B");
    EXPECT_EQ(ReadText(Copy()), std::string(255, '-') + "value=\"A\"\" value=\"\"\nlast line without line feed");
}

TEST_F(MailFormTest, MissingFormOrCopyGivesTheEmptyText) {
    EXPECT_EQ(FillMailForm("form.htm", "a", "s", "b").data, EmptyText);
    WriteForm("<p>\n");
    SetEnvironmentVariableA("TMP", sandbox.Path("absent").c_str());
    EXPECT_EQ(FillMailForm("form.htm", "a", "s", "b").data, EmptyText);
    EXPECT_EQ(ReadText(sandbox.Path("work\\form.htm")), "<p>\n");
}

TEST_F(MailFormTest, FormInTheTemporaryFolderIsNotItsOwnCopy) {
    WriteForm("<input value=\"\">\n");
    SetEnvironmentVariableA("TMP", sandbox.Path("work").c_str());
    Str copy = FillMailForm("form.htm", "a", "s", "b");
    EXPECT_FALSE(SameFile(copy.data, sandbox.Path("work\\form.htm"))) << copy.data;
    EXPECT_EQ(ReadText(copy.data), "<input value=\"a\"\">\n");
    EXPECT_EQ(ReadText(sandbox.Path("work\\form.htm")), "<input value=\"\">\n");
}

TEST_F(MailFormTest, EachCopyIsANewFileOfItsOwn) {
    // Whatever a shared temporary folder holds under the form's name stays
    // as it is: a file there, natively a link to a file elsewhere.
    WriteForm("<input value=\"\">\n");
    std::string planted = sandbox.Path("temp\\form.htm");
    std::string target = sandbox.Path("target.htm");
    WriteFileText(target, "target");
#ifdef _WIN32
    WriteFileText(planted, "planted");
#else
    ASSERT_EQ(symlink(target.c_str(), planted.c_str()), 0);
#endif
    Str first = FillMailForm("form.htm", "first", "s", "b");
    Str second = FillMailForm("form.htm", "second", "s", "b");
    EXPECT_EQ(TempFiles().size(), 3u);
    EXPECT_FALSE(SameFile(first.data, second.data));
    EXPECT_EQ(ReadText(first.data), "<input value=\"first\"\">\n");
    EXPECT_EQ(ReadText(second.data), "<input value=\"second\"\">\n");
    EXPECT_EQ(ReadText(target), "target");
#ifdef _WIN32
    EXPECT_EQ(ReadText(planted), "planted");
#endif
}

void Send(unsigned flags, const char* address, const char* subject, const char* body, int count, ...) {
    va_list paths;
    va_start(paths, count);
    SendMapiMail(flags, address, subject, body, count, paths);
    va_end(paths);
    ReleaseMapi();
}

TEST_F(MailFormTest, FormRouteShowsTheFilledCopyInTheBrowser) {
    RegisterBrowser();  // not asked: the copy is a file
    WriteForm("<input value=\"\">\n");
    Send(MailViaMapi | MailViaForm | MailDialog, "a@b.org", "s", "b", 1, "attached.txt");
    std::vector<std::string> urls = OpenedUrls(Records(1));
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0].substr(0, 7), "file://");
    EXPECT_TRUE(SameFile(urls[0].substr(7), Copy())) << urls[0];
    EXPECT_EQ(ReadText(Copy()), "<input value=\"a@b.org\"\">\n");
    EXPECT_EQ(BrowserRuns(Records(0)), Runs{});
}

TEST_F(MailFormTest, FormRouteWithoutFormRaisesFileNotFound) {
    Raised raised = RaiseOf([] { Send(MailViaMapi | MailViaForm, "a@b.org", "s", "b", 0); });
    EXPECT_EQ(raised.text, "File 'form.htm' not found!");
    EXPECT_EQ(OpenedUrls(Records(0)), Urls{});
}

TEST_F(MailFormTest, FormRouteWithoutCopyShowsTheBlankForm) {
    WriteForm("<input value=\"\">\n");
    SetEnvironmentVariableA("TMP", sandbox.Path("absent").c_str());
    Send(MailViaMapi | MailViaForm, "a@b.org", "s", "b", 0);
    std::vector<std::string> urls = OpenedUrls(Records(1));
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_TRUE(SameFile(urls[0].substr(7), sandbox.Path("work\\form.htm"))) << urls[0];
}

// Choosing the route: WIN.INI as each case has it, put back afterwards.
class MailRouteTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        if (!IsSkipped()) winIni.emplace();
    }
    void TearDown() override {
        winIni.reset();
        ShellTest::TearDown();
    }
    std::optional<WinIniMapi> winIni;
};

TEST_F(MailRouteTest, MailNeverWinsAndOnlyMapiAloneReadsWinIni) {
    const char* missing = WinIniMapi::kMissing;
    struct Case {
        unsigned flags;
        const char* mapiBefore;  // null: no key
        bool available;
        const char* mapiAfter;
    };
    const Case cases[] = {
        {MailNever | MailViaUrl | MailViaMapi | MailDialog, "1", false, "1"},
        {MailNever | MailViaMapi, nullptr, false, missing},
        {MailViaUrl | MailViaMapi, nullptr, true, missing},
        {MailViaUrl, "0", true, "0"},
        {MailViaMapi, nullptr, false, "0"},  // the default is written back
        {MailViaMapi | MailDialog, "0", false, "0"},
        {MailViaMapi, "1", true, "1"},
        {MailViaMapi | MailViaForm, "-2", true, "-2"},
        {MailDialog | MailViaForm, "1", false, "1"},
        {0, nullptr, false, missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << c.flags << ", MAPI " << (c.mapiBefore ? c.mapiBefore : "-"));
        WinIniMapi::Set(c.mapiBefore);
        EXPECT_EQ(MailAvailable(c.flags), c.available);
        EXPECT_EQ(WinIniMapi::Get(), c.mapiAfter);
    }
}

TEST_F(MailRouteTest, MailtoRouteCarriesSubjectAndBodyAndDropsAttachments) {
    WinIniMapi::Set("1");
    SendMail(MailViaUrl | MailViaMapi | MailDialog, "support@example.com?bcc=other@example.net&x=", "Build #2 & 3",
             "first\nsecond 100%", 1, "C:\\one.txt");
    std::vector<Record> records = Records(1);
    EXPECT_EQ(OpenedUrls(records), Urls{"mailto:support@example.com%3Fbcc=other@example.net%26x="
                                        "?subject=Build %232 %26 3&body=first%0D%0Asecond 100%25"});
    // Nothing of MAPI: neither its stand-in's load (two fields) nor a call.
    for (const Record& r : Records(0))
        EXPECT_TRUE(r.kind == "opened" || r.kind == "started" || (r.kind == "loaded" && r.fields.size() == 3))
            << r.kind;
}

TEST_F(MailRouteTest, NothingIsSentWhenMailIsNotAvailable) {
    for (unsigned flags : {MailNever | MailViaUrl, unsigned{MailViaMapi}}) {
        SCOPED_TRACE(flags);
        WinIniMapi::Set(nullptr);
        SendMail(flags, "a@b.org", "S", "B", 0);
    }
    EXPECT_EQ(Records(0).size(), 0u);
    EXPECT_EQ(WinIniMapi::Get(), "0");
}

#ifdef _WIN32
using Fields = std::vector<std::string>;

// The MAPI route against the stand-in MAPI32.DLL.
class MapiTest : public ShellTest {
protected:
    void TearDown() override {
        for (const char* name : {"KORVEL_MAPI_LOGON", "KORVEL_MAPI_RESULT"}) SetEnvironmentVariableA(name, nullptr);
        ShellTest::TearDown();
    }
    // The records without the library's loads, which are checked apart.
    std::vector<Fields> Calls(size_t count) const {
        std::vector<Fields> calls;
        for (const Record& r : Records(count))
            if (r.kind != "loaded") calls.push_back(r.fields);
        return calls;
    }
};

const char kRecipient[] = "1,a@b.org,SMTP:a@b.org,0,null";
const char kOriginator[] = "0,(null),(null),0,null";

TEST_F(MapiTest, BindsTheTwelveEntriesFromTheSystemFolder) {
    ASSERT_TRUE(BindMapi());
    for (int i = 0; i < MapiEntryCount; ++i) {
        SCOPED_TRACE(MapiEntryNames[i]);
        EXPECT_NE(Mapi.entries[i], nullptr);
        EXPECT_EQ(Mapi.entries[i], GetProcAddress(Mapi.library, MapiEntryNames[i]));
    }
    ReleaseMapi();
    EXPECT_EQ(Mapi.library, nullptr);
    std::vector<Record> records = Records(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(SameFile(records[0].fields[1], systemMapiDll)) << records[0].fields[1];
}

TEST_F(MapiTest, DefaultLogonIsProbedAndClosedThenTheDialogAsked) {
    Send(MailViaMapi | MailDialog, "a@b.org", "Subject", "Body text", 2, "C:\\one.txt", "two.log");
    EXPECT_EQ(Calls(4), (std::vector<Fields>{
                            {"logon", "0", "null", "null", "0", "0"},
                            {"logoff", "24149"},
                            {"send", "0", "0", "8", "Subject", "Body text", "null,null,null", "0", kOriginator,
                             "1", kRecipient, "2", "0,0,4294967295,C:\\one.txt,null,null",
                             "0,0,4294967295,two.log,null,null"},
                        }));
}

TEST_F(MapiTest, FailedLogonAsksForTheLogonDialog) {
    SetEnvironmentVariableA("KORVEL_MAPI_LOGON", "fail");
    Send(MailViaMapi, "a@b.org", "S", "B", 0);
    std::vector<Fields> calls = Calls(3);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0][0], "logon");
    EXPECT_EQ(calls[1], (Fields{"send", "0", "0", "1", "S", "B", "null,null,null", "0", kOriginator, "1",
                                kRecipient, "0"}));
}

TEST_F(MapiTest, FailedSendShowsItsTextEvenWhenUnlisted) {
    struct Case {
        const char* result;
        const char* text;
    };
    for (Case c : {Case{"25", "One or more recipients were invalid or did\nnot resolve to any address."},
                   Case{"1", "The user canceled one of the dialog boxes.\nNo message was sent."},
                   Case{"22", ""}}) {
        SCOPED_TRACE(c.result);
        SetEnvironmentVariableA("KORVEL_MAPI_RESULT", c.result);
        BoxWatcher watcher;
        Send(MailViaMapi, "a@b.org", "S", "B", 0);
        EXPECT_EQ(watcher.Stop(), (std::vector<SeenBox>{{"Error", c.text, MB_OK, true}}));
    }
}

TEST_F(MapiTest, SendMailLoadsTheLibraryForEachSendAndReleasesIt) {
    WinIniMapi winIni;
    WinIniMapi::Set("1");
    SendMail(MailViaMapi, "a@b.org", "S", "B", 1, "C:\\one.txt");
    SendMail(MailViaMapi | MailDialog, "a@b.org", "S2", "B2", 0);
    EXPECT_EQ(Mapi.library, nullptr);
    std::vector<Record> records = Records(8);
    std::vector<std::string> kinds;
    for (const Record& r : records) kinds.push_back(r.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"loaded", "logon", "logoff", "send",  //
                                               "loaded", "logon", "logoff", "send"}));
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[3].fields, (Fields{"send", "0", "0", "0", "S", "B", "null,null,null", "0", kOriginator, "1",
                                         kRecipient, "1", "0,0,4294967295,C:\\one.txt,null,null"}));
    EXPECT_EQ(records[7].fields[3], "8");
}

TEST_F(MapiTest, LibraryLackingSendMailSendsNothingAndShowsNothing) {
    PlantSystemDll(systemMapiDll, MAPI_STANDIN_NO_SEND);
    SetEnvironmentVariableA("KORVEL_MAPI_RESULT", "25");
    BoxWatcher watcher;
    Send(MailViaMapi, "a@b.org", "S", "B", 0);
    EXPECT_EQ(watcher.Stop().size(), 0u);
    EXPECT_EQ(Calls(0), std::vector<Fields>{});
}
#else
TEST_F(MailFormTest, WithoutMapiNothingIsSentOrShown) {
    BoxWatcher watcher;
    EXPECT_FALSE(BindMapi());
    Send(MailViaMapi | MailDialog, "a@b.org", "S", "B", 0);
    EXPECT_EQ(watcher.Stop().size(), 0u);
    EXPECT_EQ(Records(0).size(), 0u);
}
#endif

}  // namespace
