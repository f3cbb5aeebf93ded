#include "gen/Report.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ShellFixture.h"
#include "gen/Ini.h"
#include "gen/Mail.h"

namespace {

TEST(TakesArgumentsOf, AcceptsOnlyTheDefaultsConversionsInTheirOrder) {
    struct Case {
        const char* format;
        const char* model;
        bool takes;
    };
    const Case cases[] = {
        {"Asserted at %s %d%s", "Asserted at %s %d%s", true},
        {"%-40s:%5i 100%%%s", "Asserted at %s %d%s", true},
        {"%s %d", "Asserted at %s %d%s", false},          // one fewer
        {"%s %d%s%s", "Asserted at %s %d%s", false},      // one more
        {"%d %s%s", "Asserted at %s %d%s", false},        // another order
        {"%s %ld%s", "Asserted at %s %d%s", false},       // another length
        {"%s %*d%s", "Asserted at %s %d%s", false},       // a width argument
        {"%s %d%.*s", "Asserted at %s %d%s", false},      // a precision argument
        // Widths and precisions of up to 4 digits, no more (flags apart).
        {"%-9999s %.9999d%09999s", "Asserted at %s %d%s", true},
        {"%999999999s %d%s", "Asserted at %s %d%s", false},
        {"%s %10000d%s", "Asserted at %s %d%s", false},
        {"%s %d%.99999s", "Asserted at %s %d%s", false},
        {"%s %d%-000012345s", "Asserted at %s %d%s", false},
        {"Gpf %s %.00001lX%s", "Gpfed %s 0x%08lX%s", false},
        {"%s %d%n", "Asserted at %s %d%s", false},
        {"%1$s %2$d%3$s", "Asserted at %s %d%s", false},  // positional
        {"%s %d%s %", "Asserted at %s %d%s", false},      // a lone '%' at the end
        {"%s %d%s %y", "Asserted at %s %d%s", false},
        {"Gpf %.20s at %lx/%lu%s", "Gpfed %s 0x%08lX%s", false},
        {"Gpf %.20s at %#lx%s", "Gpfed %s 0x%08lX%s", true},
        {"Gpf %s at %08X%s", "Gpfed %s 0x%08lX%s", false},
        {"Gpf %s at %lp%s", "Gpfed %s 0x%08lX%s", false},
        {"Sig %s%s", "Signalled %s%s", true},
        {"Sig %c%s", "Signalled %s%s", false},
        {"no conversions", "", true},
        {"%%", "", true},
        {"%s", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(TakesArgumentsOf(c.format, c.model), c.takes);
    }
}

// A bound settings file in the sandbox and WIN.INI's MAPI key as each test
// sets it (missing at first: the "mailto:" route).
class ReportTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        if (IsSkipped()) return;
        winIni.emplace();
        WinIniMapi::Set(nullptr);
        BindSettingsFile(ini.c_str(), false, true);
    }
    void TearDown() override {
        UnbindSettingsFile();
        winIni.reset();
        ShellTest::TearDown();
    }
    std::string Stored(const char* section, const char* key) const { return ProfileText(ini, section, key); }
    void Store(const char* section, const char* key, const char* value) const {
        WritePrivateProfileStringA(section, key, value, ini.c_str());
    }
    // The one "mailto:" URL opened.
    std::string Mailto() const {
        Urls urls = OpenedUrls(Records(1));
        return urls.size() == 1 ? urls[0] : "(" + std::to_string(urls.size()) + " URLs)";
    }

    std::string ini = sandbox.Path("Korvel.INI");
    std::optional<WinIniMapi> winIni;
};

TEST_F(ReportTest, MissingTemplatesAreWrittenForTheKindUsedOnly) {
    ReportAssertion("..\\Gen\\Err.cpp", 74, " [build 9]", "details are dropped");
    EXPECT_EQ(Mailto(), "mailto:?subject=Asserted at ..\\Gen\\Err.cpp 74 [build 9]");
    EXPECT_EQ(Stored("Report", "Assert"), "Asserted at %s %d%s");
    EXPECT_EQ(Stored("Report", "Signal"), "(missing)");
    EXPECT_EQ(Stored("Report", "GPF"), "(missing)");
    EXPECT_EQ(Stored("Internet", "MAutomated"), "");
    EXPECT_EQ(WinIniMapi::Get(), "0");
}

TEST_F(ReportTest, ConfiguredTemplateIsUsedOnlyWhenItTakesTheDefaultsArguments) {
    using Report = std::function<void()>;
    const Report assertion = [] { ReportAssertion("a.cpp", 7, "!", ""); };
    const Report signal = [] { ReportSignal("SIGSEGV", "!", ""); };
    const Report fault = [] { ReportProtectionFault("Access violation", 0xBEEFu, "!", ""); };
    struct Case {
        const char* name;
        Report report;
        const char* key;
        const char* configured;
        const char* subject;
    };
    const Case cases[] = {
        {"assertion, own words", assertion, "Assert", "Bug %s:%i%s", "Bug a.cpp:7!"},
        {"assertion, reordered", assertion, "Assert", "Line %d of %s%s", "Asserted at a.cpp 7!"},
        {"assertion, one more", assertion, "Assert", "%s %d%s %s", "Asserted at a.cpp 7!"},
        {"signal, own words", signal, "Signal", "Signal %s%s (100%%)", "Signal SIGSEGV! (100%25)"},
        {"signal, a number", signal, "Signal", "Signal %d%s", "Signalled SIGSEGV!"},
        {"signal, a huge width", signal, "Signal", "%999999999s%s", "Signalled SIGSEGV!"},
        {"signal, a long precision", signal, "Signal", "Signal %.99999s%s", "Signalled SIGSEGV!"},
        {"fault, lower case", fault, "GPF", "GPF %s %#lx%s", "GPF Access violation 0xbeef!"},
        {"fault, an int", fault, "GPF", "GPF %s %X%s", "Gpfed Access violation 0x0000BEEF!"},
        {"fault, a text for the address", fault, "GPF", "GPF %s %s%s", "Gpfed Access violation 0x0000BEEF!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileText(record, "");
        Store("Report", c.key, c.configured);
        c.report();
        EXPECT_EQ(Mailto(), std::string("mailto:?subject=") + c.subject);
        EXPECT_EQ(Stored("Report", c.key), c.configured);  // a template not used stays as it is
    }
}

TEST_F(ReportTest, SubjectIsCutTo127Characters) {
    Store("Internet", "MAutomated", "reports@korvel.example");
    for (size_t length : {120u, 127u, 128u, 300u}) {
        SCOPED_TRACE(length);
        WriteFileText(record, "");
        std::string name(length - std::string("Signalled ").size(), 'n');
        ReportSignal(name.c_str(), "", "");
        std::string subject = "Signalled " + name;
        EXPECT_EQ(Mailto(), "mailto:reports@korvel.example?subject=" + subject.substr(0, 127));
    }
}

TEST_F(ReportTest, WithoutSettingsFileTheBuiltInTemplatesGoToNoOne) {
    UnbindSettingsFile();
    ReportProtectionFault("Access violation", 0xFFFFFFFFu, "", "");
    EXPECT_EQ(Mailto(), "mailto:?subject=Gpfed Access violation 0xFFFFFFFF");
    EXPECT_EQ(ReadFileText(ini), "");
}

#ifdef _WIN32
using Fields = std::vector<std::string>;

// The MAPI route with the stand-in MAPI32.DLL: logon probe, its logoff, the send.
class MapiReportTest : public ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        if (IsSkipped()) return;
        WinIniMapi::Set("1");
    }
    Fields Sent() const {
        for (const Record& r : Records(3))
            if (r.kind == "send") return r.fields;
        return {};
    }
};

TEST_F(MapiReportTest, AsksForTheComposeDialogWithTheWholeReportAndNoAttachment) {
    Store("Internet", "MAutomated", "reports@korvel.example");
    ReportProtectionFault("Access violation", 0x0040BEEFu, " (Run)", "eax=0");
    EXPECT_EQ(Sent(), (Fields{"send", "0", "0", "8", "Gpfed Access violation 0x0040BEEF (Run)",
                              "General Protection Fault 'Access violation' occured at 0x0040BEEF'\\r\\neax=0",
                              "null,null,null", "0", "0,(null),(null),0,null", "1",
                              "1,reports@korvel.example,SMTP:reports@korvel.example,0,null", "0"}));
    EXPECT_EQ(Mapi.library, nullptr);
    EXPECT_EQ(OpenedUrls(Records(0)), Urls{});
}

TEST_F(MapiReportTest, RecipientIsTheNotFoundTextWhenMissingAndEmptyWithoutSettingsFile) {
    ReportAssertion("..\\Gen\\Ini.cpp", 84, "", "");
    std::string notFound = ini + " [Internet] MAutomated= not found";
    Fields sent = Sent();
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(sent[4], "Asserted at ..\\Gen\\Ini.cpp 84");
    EXPECT_EQ(sent[5], "Assertion failed at '..\\Gen\\Ini.cpp' line 84\\r\\n");
    EXPECT_EQ(sent[10], "1," + notFound + ",SMTP:" + notFound + ",0,null");
    EXPECT_EQ(Stored("Internet", "MAutomated"), "(missing)");

    WriteFileText(record, "");
    UnbindSettingsFile();
    ReportSignal("SIGABRT", "", "abort()");
    sent = Sent();
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(sent[4], "Signalled SIGABRT");
    EXPECT_EQ(sent[5], "Aborted by signal 'SIGABRT'\\r\\nabort()");
    EXPECT_EQ(sent[10], "1,,SMTP:,0,null");
}
TEST_F(MapiReportTest, AFaultingProgramsFilterSendsItsReport) {
    Store("Internet", "MAutomated", "reports@korvel.example");
    EXPECT_EQ(RunAndWait(HostPath(FAULT_PROBE), "fault_probe " + ini), static_cast<long>(EXCEPTION_ACCESS_VIOLATION));
    Fields sent = Sent();
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(sent[3], "8");
    EXPECT_EQ(sent[4], "Gpfed Access violation 0x00000010 (fault_probe)");
    EXPECT_EQ(sent[5].rfind("General Protection Fault 'Access violation' occured at 0x00000010'\\r\\nread by the "
                            "instruction at ", 0),
              0u)
        << sent[5];
}
#else
TEST_F(ReportTest, MapiDeclaredButMissingSendsNothing) {
    WinIniMapi::Set("1");
    ReportAssertion("a.cpp", 1, "", "");
    EXPECT_EQ(Records(0).size(), 0u);
    EXPECT_EQ(Stored("Internet", "MAutomated"), "(missing)");
}
#endif

}  // namespace
