#include "gen/Report.h"

#include <cstring>

#include "gen/Ini.h"
#include "gen/Mail.h"
#include "gen/Shell.h"
#include "gen/Str.h"

namespace {

// The subject templates' settings and defaults.
const char kAssertSetting[] = "Report|Assert";
const char kAssertDefault[] = "Asserted at %s %d%s";
const char kSignalSetting[] = "Report|Signal";
const char kSignalDefault[] = "Signalled %s%s";
const char kFaultSetting[] = "Report|GPF";
const char kFaultDefault[] = "Gpfed %s 0x%08lX%s";

const char kAssertBody[] = "Assertion failed at '%s' line %d\r\n%s";
const char kSignalBody[] = "Aborted by signal '%s'\r\n%s";
const char kFaultBody[] = "General Protection Fault '%s' occured at 0x%08lX'\r\n%s";

// A configured width or precision fills the subject before it is cut:
// 999999999 would take seconds and a gigabyte.
const int kMaxWidthDigits = 4;

const char kMapiRecipient[] = "Internet|MAutomated";
const char kMailtoRecipient[] = "Internet|MAutomated|";

// The arguments the conversion at format (just after its '%') takes, as
// text: "*" for a width or precision taken from the arguments, then the
// length modifier and the kind of the value. p is left after the conversion.
// "%" for %%; "?" for what printf on some build would read differently, and
// for a width or precision of more than kMaxWidthDigits digits.
Str ConversionSignature(const char*& p) {
    if (*p == '%') {
        ++p;
        return Str("%");
    }
    StrBuilder signature(8);
    while (*p && strchr("-+ #0", *p)) ++p;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '$' && p > digits) return Str("?");  // positional: not on every build
    if (p - digits > kMaxWidthDigits) return Str("?");
    if (*p == '*') {
        signature.Append("*");
        ++p;
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            signature.Append("*");
            ++p;
        }
        digits = p;
        while (*p >= '0' && *p <= '9') ++p;
        if (p - digits > kMaxWidthDigits) return Str("?");
    }
    const char* length = p;
    while (*p && strchr("hlLjzt", *p)) ++p;
    signature.Append(length, static_cast<unsigned>(p - length));
    char kind = '?';
    if (*p && strchr("di", *p)) kind = 'd';
    else if (*p && strchr("ouxX", *p)) kind = 'u';
    else if (*p && strchr("eEfFgGaA", *p)) kind = 'f';
    else if (*p && strchr("scp", *p)) kind = *p;
    if (*p) ++p;
    if (kind == '?') return Str("?");
    signature.Append(&kind, 1);
    return Str(signature.storage);
}

// The conversions of format, each signature followed by one blank.
Str ConversionsOf(const char* format) {
    StrBuilder all(16);
    for (const char* p = strchr(format, '%'); p; p = strchr(p, '%')) {
        ++p;
        Str signature = ConversionSignature(p);
        if (strcmp(signature.data, "%") == 0) continue;
        all.Append(signature.data);
        all.Append(" ");
    }
    return Str(all.storage);
}

// The configured template (a missing one reads, and is stored, as the
// default), or the default where the configured one would read other
// arguments than the entry passes.
Str SubjectTemplate(const char* setting, const char* defaultTemplate) {
    Str configured = ReadSettingOr(setting, Str(defaultTemplate));
    return TakesArgumentsOf(configured.data, defaultTemplate) ? configured : Str(defaultTemplate);
}

void Send(const Str& subject, const Str& body) { SendReport(subject.Left(ReportSubjectLimit).data, body.data); }

// The recipient setting path, read; empty while no settings file is bound
// (the path then names no file), instead of the "not found" text.
Str Recipient(const char* path) {
    SettingPath record = ParseSettingPath(path, nullptr);
    if (!record.file.data || record.file.data[0] == '\0') return Str();
    return ReadSettingRecord(record);
}

}  // namespace

bool TakesArgumentsOf(const char* format, const char* model) {
    Str taken = ConversionsOf(format), wanted = ConversionsOf(model);
    return strstr(wanted.data, "?") == nullptr && strcmp(taken.data, wanted.data) == 0;
}

void ReportAssertion(const char* sourcePath, int line, const char* suffix, const char* details) {
    Str format = SubjectTemplate(kAssertSetting, kAssertDefault);
    Str subject = FormatStr(format.data, sourcePath, line, suffix);
    Send(subject, FormatStr(kAssertBody, sourcePath, line, details));
}

void ReportSignal(const char* signalName, const char* suffix, const char* details) {
    Str format = SubjectTemplate(kSignalSetting, kSignalDefault);
    Str subject = FormatStr(format.data, signalName, suffix);
    Send(subject, FormatStr(kSignalBody, signalName, details));
}

void ReportProtectionFault(const char* faultName, unsigned address, const char* suffix, const char* details) {
    // %lX reads an unsigned long, which is 64 bits wide on Linux.
    unsigned long wideAddress = address;
    Str format = SubjectTemplate(kFaultSetting, kFaultDefault);
    Str subject = FormatStr(format.data, faultName, wideAddress, suffix);
    Send(subject, FormatStr(kFaultBody, faultName, wideAddress, details));
}

void SendReport(const char* subject, const char* body) {
    if (MailAvailable(MailViaMapi)) {
        Str address = Recipient(kMapiRecipient);
        SendMail(MailViaMapi | MailDialog, address.data, subject, body, 0);
        return;
    }
    Str address = Recipient(kMailtoRecipient);
    MailTo(address.data, subject);
}
