// Shared by the tests of opening URLs and sending mail: the stand-ins that
// record what the system would have been asked to do, and their records.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/MessageBoxes.h"
#include "support/Sandbox.h"

// One line of the record file (see UrlStandin.cpp and the recorder).
struct Record {
    std::string kind;  // "loaded", "opened" or "started"
    std::vector<std::string> fields;
};

inline std::vector<Record> ParseRecords(const std::string& text) {
    std::vector<Record> records;
    for (const std::string& line : CompleteLines(text)) {
        Record record;
        record.fields = SplitFields(line, '\t');
        record.kind = record.fields[0];
        records.push_back(record);
    }
    return records;
}

inline std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The same file, whatever the spelling: separators (the library writes '\\'
// on every build), case (Windows), Z: prefix.
inline bool SameFile(std::string a, std::string b) {
#ifndef _WIN32
    for (std::string* path : {&a, &b})
        for (char& c : *path)
            if (c == '\\') c = '/';
#endif
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

inline const char kCommandKey[] = "http\\shell\\open\\command";

// Each test gets a sandbox holding the record file and the stand-in browser.
// Under Wine the stand-in url.dll and MAPI32.DLL are planted in the prefix's
// system folder (Wine's own files are put back afterwards) and the "http"
// registration is saved and restored; natively compat's system folder and
// registry live in the sandbox and its opener is the recorder.
class ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
#ifdef _WIN32
        char folder[MAX_PATH] = "";
        GetSystemDirectoryA(folder, sizeof folder);
        systemUrlDll = std::string(folder) + "\\url.dll";
        systemMapiDll = std::string(folder) + "\\MAPI32.DLL";
        for (const std::string* dll : {&systemUrlDll, &systemMapiDll})
            if (!std::filesystem::exists(*dll + kSaved)) CopyFileA(dll->c_str(), (*dll + kSaved).c_str(), TRUE);
        savedCommand = ReadCommand(&hadCommand);
#endif
    }
    static void TearDownTestSuite() {
#ifdef _WIN32
        for (const std::string* dll : {&systemUrlDll, &systemMapiDll})
            if (CopyFileA((*dll + kSaved).c_str(), dll->c_str(), FALSE)) DeleteFileA((*dll + kSaved).c_str());
        if (hadCommand)
            Register(savedCommand + '\0', REG_SZ);
        else
            Unregister();
#endif
    }

    void SetUp() override {
        SetEnvironmentVariableA("KORVEL_RECORD", record.c_str());
        CopyProgram(HostPath(RECORDER), browser);
#ifdef _WIN32
        PlantSystemDll(systemUrlDll, URL_STANDIN);
        PlantSystemDll(systemMapiDll, MAPI_STANDIN);
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
    // Checks at once that Wine loads the planted file, not its own.
    void PlantSystemDll(const std::string& dll, const char* standin) {
        SetEnvironmentVariableA("KORVEL_RECORD", nullptr);
        CopyProgram(HostPath(standin), dll);
        HMODULE library = LoadLibraryA(dll.c_str());
        bool planted = library && GetProcAddress(library, "KorvelStandin");
        if (library) FreeLibrary(library);
        SetEnvironmentVariableA("KORVEL_RECORD", record.c_str());
        ASSERT_TRUE(planted) << "Wine loads its own " << dll << ": run with WINEDLLOVERRIDES holding url,mapi32=n";
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
        return ParseRecords(WaitForLines(record, count, std::chrono::seconds(20), std::chrono::seconds(2)));
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
    static constexpr const char* kSaved = ".korvel-saved";
    static inline std::string systemUrlDll, systemMapiDll, savedCommand;
    static inline bool hadCommand = false;
#endif
};

// WIN.INI's MAIL/MAPI, which declares MAPI, for one test: put back as it was
// afterwards (natively WIN.INI lives in the sandbox's Windows folder).
class WinIniMapi {
public:
    WinIniMapi() : saved(Get()) {}
    ~WinIniMapi() { Set(saved == kMissing ? nullptr : saved.c_str()); }
    WinIniMapi(const WinIniMapi&) = delete;
    WinIniMapi& operator=(const WinIniMapi&) = delete;

    static constexpr const char* kMissing = "(missing)";
    static std::string Get() { return ProfileText("WIN.INI", "MAIL", "MAPI"); }
    // null removes the key.
    static void Set(const char* value) { WritePrivateProfileStringA("MAIL", "MAPI", value, "WIN.INI"); }

private:
    std::string saved;
};

using Urls = std::vector<std::string>;
using Runs = std::vector<std::vector<std::string>>;
