// compat's .reg file over any text: parsing never crashes; a parsed tree
// written out parses back to the same text; setting one value and writing
// the file gives back that value while every other key and value stays.
// Input: byte 0 the value name's length, then the name, then the file text.
#include <cstdint>
#include <string>

#include "RegFile.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string name = rest.substr(0, data[0] % 32);
    std::string text = rest.substr(name.size());

    RegTree tree;
    if (!RegParseFile(text, tree)) return 0;
    std::string formatted = RegFormatFile(tree);
    RegTree again;
    FUZZ_CHECK(RegParseFile(formatted, again));
    FUZZ_CHECK(RegFormatFile(again) == formatted);

    const std::string path = "HKEY_CURRENT_USER\\Software\\Fuzz";
    RegKey& key = RegMakeKey(again, path);
    RegValue* value = RegFindValue(key, name);
    if (!value) {
        key.values.push_back(RegValue{name, REG_NONE, {}});
        value = &key.values.back();
    }
    value->type = REG_SZ;
    value->data.assign(name.begin(), name.end());
    value->data.push_back(0);
    std::string written = RegFormatFile(again);
    RegTree back;
    FUZZ_CHECK(RegParseFile(written, back));
    RegKey* found = RegFindKey(back, path);
    FUZZ_CHECK(found);
    RegValue* read = RegFindValue(*found, name);
    FUZZ_CHECK(read && read->type == REG_SZ && read->data == value->data);
    for (const RegKey& k : tree.keys) {
        RegKey* kept = RegFindKey(back, k.path);
        FUZZ_CHECK(kept);
        for (const RegValue& v : k.values) {
            if (RegSameName(k.path, path) && RegSameName(v.name, name)) continue;
            RegValue* same = RegFindValue(*kept, v.name);
            FUZZ_CHECK(same && same->type == v.type && same->data == v.data);
        }
    }
    return 0;
}
