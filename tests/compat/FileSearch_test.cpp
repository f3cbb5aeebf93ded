// The C runtime's file search: the cases Windows and Wine agree on (entry
// order beyond "." and ".." first, short-name matches, "?" and a trailing
// separator are left alone).
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;

struct Found {
    unsigned attributes;
    uint32_t size;
};

// A folder of a.txt (5 bytes), B.TXT, noext and subdir.
class FindFirst : public ::testing::Test {
protected:
    void SetUp() override {
        MakeSearchFixture(sandbox);
    }

    // Every entry pattern gives, in order; -1 from _findfirst64i32 gives none.
    std::vector<std::string> Search(const char* pattern) {
        names.clear();
        found.clear();
        _finddata64i32_t entry;
        intptr_t handle = _findfirst64i32((sandbox.Root() + "\\" + pattern).c_str(), &entry);
        if (handle == -1) {
            firstErrno = errno;
            return names;
        }
        int result = 0;
        for (; result == 0; result = _findnext64i32(handle, &entry)) {
            names.push_back(entry.name);
            found[entry.name] = {entry.attrib, static_cast<uint32_t>(entry.size)};
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(_findclose(handle), 0);
        return names;
    }
    static std::multiset<std::string> Set(const std::vector<std::string>& names) {
        return std::multiset<std::string>(names.begin(), names.end());
    }

    Sandbox sandbox;
    std::vector<std::string> names;
    std::map<std::string, Found> found;
    int firstErrno = 0;
};

TEST_F(FindFirst, StarGivesDotsFirstThenEveryEntryWithItsAttributes) {
    std::vector<std::string> all = Search("*");
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[0], ".");
    EXPECT_EQ(all[1], "..");
    EXPECT_EQ(Set(all), (std::multiset<std::string>{".", "..", "a.txt", "B.TXT", "noext", "subdir"}));
    EXPECT_EQ(found["."].attributes, static_cast<unsigned>(_A_SUBDIR));
    EXPECT_EQ(found["subdir"].attributes, static_cast<unsigned>(_A_SUBDIR));
    EXPECT_EQ(found["a.txt"].attributes, static_cast<unsigned>(_A_ARCH));
    EXPECT_EQ(found["a.txt"].size, 5u);
    EXPECT_EQ(found["B.TXT"].size, 0u);
}

TEST_F(FindFirst, NamesMatchWithoutRegardToCase) {
    EXPECT_EQ(Set(Search("*.txt")), (std::multiset<std::string>{"a.txt", "B.TXT"}));
    EXPECT_EQ(Set(Search("b.txt")), (std::multiset<std::string>{"B.TXT"}));
    EXPECT_EQ(Set(Search("SUB*")), (std::multiset<std::string>{"subdir"}));
    // "*.*" takes names without a dot as well.
    EXPECT_EQ(Set(Search("*.*")), Set(Search("*")));
}

TEST_F(FindFirst, NothingMatchingOrNoFolderIsMinusOneWithENOENT) {
    for (const char* pattern : {"*.zzz", "absent\\*"}) {
        SCOPED_TRACE(pattern);
        EXPECT_TRUE(Search(pattern).empty());
        EXPECT_EQ(firstErrno, ENOENT);
    }
}

TEST_F(FindFirst, AReadOnlyFileIsMarkedSo) {
    const std::string path = sandbox.Path("a.txt");
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    Search("a.txt");
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);  // so the sandbox goes
    EXPECT_EQ(found["a.txt"].attributes, static_cast<unsigned>(_A_ARCH | _A_RDONLY));
}

}  // namespace
