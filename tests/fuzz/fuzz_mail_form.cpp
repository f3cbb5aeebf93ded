// FillMailForm with any form text and any inserted texts, against a model:
// the form read in pieces of at most 255 characters ending after a line
// feed, each piece's first "<textarea" (when a '>' follows it) or else its
// first "value=\"" filled with the escaped body, address or subject.
// Input: bytes 0-2 = lengths of the address, subject and body, then those
// texts (each up to a first NUL) and the form (NUL bytes made blanks: a form
// is text). The form and the copy live in a private folder of their own.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "gen/Mail.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Model(const std::string& form, const std::string& address, const std::string& subject,
                  const std::string& body) {
    std::string out;
    unsigned values = 0;
    for (size_t start = 0; start < form.size();) {
        size_t end = start;
        while (end < form.size() && end - start < 255 && (end == start || form[end - 1] != '\n')) ++end;
        std::string piece = form.substr(start, end - start);
        start = end;
        size_t textarea = piece.find("<textarea");
        size_t value = piece.find("value=\"");
        if (textarea != std::string::npos) {
            size_t close = piece.find('>', textarea);
            if (close == std::string::npos) {
                out += piece;
            } else {
                out += piece.substr(0, close + 1) + Escaped(body) + piece.substr(close + 1);
            }
        } else if (value != std::string::npos) {
            ++values;
            out += piece.substr(0, value + 7);
            if (values == 1) out += Escaped(address);
            if (values == 2) out += Escaped(subject);
            out += piece.substr(value + 6);
        } else {
            out += piece;
        }
    }
    return out;
}

// Removed at exit: a plain array, which outlives every destructor.
char root[] = "/tmp/korvel-fuzz-form-XXXXXX";

std::string Folder(const char* name) {
    static bool made = [] {
        if (!mkdtemp(root)) std::abort();
        std::atexit([] { std::filesystem::remove_all(root); });
        return true;
    }();
    (void)made;
    std::string folder = std::string(root) + "/" + name;
    mkdir(folder.c_str(), 0700);
    return folder;
}

std::string Take(const uint8_t*& data, size_t& size, size_t n) {
    if (n > size) n = size;
    std::string text(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return text.c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // The form is named relative to the current folder: the work folder
    // while the form is filled, libFuzzer's own afterwards (its corpus and
    // artifacts may be named relative to it).
    static std::string work = [] {
        setenv("TMP", Folder("temp").c_str(), 1);
        return Folder("work");
    }();
    static std::string own = [] {
        char folder[4096];
        FUZZ_CHECK(getcwd(folder, sizeof folder) != nullptr);
        return std::string(folder);
    }();
    size_t lengths[3] = {data[0], data[1], data[2]};
    data += 3;
    size -= 3;
    std::string address = Take(data, size, lengths[0]);
    std::string subject = Take(data, size, lengths[1]);
    std::string body = Take(data, size, lengths[2]);
    std::string form(reinterpret_cast<const char*>(data), size);
    for (char& c : form)
        if (c == '\0') c = ' ';
    FUZZ_CHECK(chdir(work.c_str()) == 0);
    std::ofstream(MailFormName, std::ios::binary | std::ios::trunc) << form;
    Str copy = FillMailForm(MailFormName, address.c_str(), subject.c_str(), body.c_str());
    FUZZ_CHECK(chdir(own.c_str()) == 0);
    FUZZ_CHECK(copy.data[0] != '\0');
    std::ostringstream written;
    {
        std::ifstream in(copy.data, std::ios::binary);
        written << in.rdbuf();
    }
    std::remove(copy.data);  // each fill makes a new copy
    FUZZ_CHECK(written.str() == Model(form, address, subject, body));
    return 0;
}
