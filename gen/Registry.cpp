#include "gen/Registry.h"

RegistryTextResult ReadRegistryText(const char* subKey, const char* valueName, char* text,
                                    DWORD capacity) {
    static const struct {
        HKEY root;
        REGSAM access;
    } kPlaces[] = {
        {HKEY_CURRENT_USER, KEY_READ | KEY_WOW64_32KEY},
        {HKEY_CURRENT_USER, KEY_READ},
        {HKEY_LOCAL_MACHINE, KEY_READ | KEY_WOW64_32KEY},
        {HKEY_LOCAL_MACHINE, KEY_READ},
    };
    RegistryTextResult result = {ERROR_FILE_NOT_FOUND, false};
    if (capacity == 0) return result;
    text[0] = '\0';

    HKEY key = nullptr;
    for (const auto& place : kPlaces) {
        result.status = RegOpenKeyExA(place.root, subKey, 0, place.access, &key);
        if (result.status == ERROR_SUCCESS) break;
    }
    if (result.status != ERROR_SUCCESS) return result;
    result.keyFound = true;

    DWORD type = REG_NONE;
    DWORD size = capacity;
    result.status = RegQueryValueExA(key, valueName, nullptr, &type,
                                     reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    // A text stored without its terminator is terminated here when it fits;
    // one that fills the whole buffer unterminated counts as too long.
    bool usable = result.status == ERROR_SUCCESS && type == REG_SZ && size != 0 &&
                  (text[size - 1] == '\0' || size < capacity);
    if (!usable)
        text[0] = '\0';
    else if (text[size - 1] != '\0')
        text[size] = '\0';
    return result;
}
