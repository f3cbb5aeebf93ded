// ParseSettingPath over any text, full or relative, bound to a file whose
// name may hold '%', with or without a caller default. Input: byte 0 picks
// the case, then the path up to a NUL, then the bound name or the default.
// The path lies in a buffer of its own exact size, so reading past its end
// is caught.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gen/Ini.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

void CheckField(const Str& field) {
    FUZZ_CHECK(field.data != nullptr);
    FUZZ_CHECK(strchr(field.data, '|') == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string path = rest.substr(0, rest.find('\0'));
    std::string other = path.size() < rest.size() ? rest.substr(path.size() + 1) : std::string();
    other = other.substr(0, other.find('\0'));

    if (data[0] & 1)
        BindSettingsFile(other.substr(0, other.find('|')).c_str(), false, true);
    else
        UnbindSettingsFile();
    std::vector<char> exact(path.begin(), path.end());
    exact.push_back('\0');
    const char* callerDefault = (data[0] & 2) ? other.c_str() : nullptr;

    SettingPath record = ParseSettingPath(exact.data(), callerDefault);
    CheckField(record.file);
    CheckField(record.section);
    CheckField(record.key);
    FUZZ_CHECK(record.valueKind == 0 || record.valueKind == '!' || record.valueKind == '@');
    FUZZ_CHECK(record.missingRule == '+' || record.missingRule == '=' || record.missingRule == '?');
    FUZZ_CHECK(record.languageFlag == 0 || record.languageFlag == '`');
    if (callerDefault) FUZZ_CHECK(record.defaultValue.data && other == record.defaultValue.data);
    if (record.defaultValue.data) FUZZ_CHECK(record.missingRule != '+');
    if (data[0] & 4) {
        ScopedSettingPrefix nested(other.c_str());
        SettingPath inner = ParseSettingPath(exact.data(), nullptr);
        CheckField(inner.file);
        CheckField(inner.key);
    }
    UnbindSettingsFile();
    return 0;
}
