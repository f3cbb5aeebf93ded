#include "gen/Path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gen/Err.h"
#include "gen/Pathw32.h"
#include "Raises.h"

namespace {

struct SplitCase {
    const char* path;
    const char* drive;
    const char* folder;
    const char* name;
    const char* extension;
};

const SplitCase kSplits[] = {
    {"D:\\app\\tool.exe", "D:", "\\app\\", "tool", ".exe"},
    {"archive.tar.gz", "", "", "archive.tar", ".gz"},
    {".profile", "", "", "", ".profile"},
    {"a.b\\c", "", "a.b\\", "c", ""},
    {"|.|", "", "", "|", ".|"},
    {"|/", "", "|/", "", ""},
    {"D:", "D:", "", "", ""},
    {"D:x.txt", "D:", "", "x", ".txt"},
    {"C:\\", "C:", "\\", "", ""},
    {"/", "", "/", "", ""},
    {"dir/sub\\name", "", "dir/sub\\", "name", ""},
    {"name.", "", "", "name", "."},
    {":x", "", "", ":x", ""},
    {"", "", "", "", ""},
};

TEST(PathParts, SplitsIntoDriveFolderNameAndExtension) {
    for (const SplitCase& c : kSplits) {
        SCOPED_TRACE(c.path);
        PathParts parts(c.path);
        EXPECT_STREQ(parts.drive.data, c.drive);
        EXPECT_STREQ(parts.folder.data, c.folder);
        EXPECT_STREQ(parts.name.data, c.name);
        EXPECT_STREQ(parts.extension.data, c.extension);
        // Empty parts are the shared empty text, never an allocation.
        for (const Str* part : {&parts.drive, &parts.folder, &parts.name, &parts.extension}) {
            if (part->data[0] == '\0') {
                EXPECT_EQ(part->data, EmptyText);
            }
        }
    }
}

TEST(PathParts, ComposeWritesTheDriveLetterAndTheMissingSeparatorAndDot) {
    PathParts parts;
    EXPECT_EQ(parts.drive.data, nullptr);
    EXPECT_EQ(parts.extension.data, nullptr);
    parts.drive = "Dx";  // only the letter is used
    parts.folder = "data/sub";
    parts.name = "file";
    parts.extension = "txt";
    EXPECT_STREQ(parts.Compose().data, "D:data/sub\\file.txt");

    parts.folder = "data/";
    parts.extension = ".txt";
    EXPECT_STREQ(parts.Compose().data, "D:data/file.txt");

    for (const SplitCase& c : kSplits) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(PathParts(c.path).Compose().data, c.path);
    }
}

struct PathCase {
    const char* path;
    const char* other;
    const char* result;
};

TEST(ModifyPath, ReplacesThePartsTheMaskHas) {
    const PathCase cases[] = {
        {"D:\\app\\tool.exe", "|/", "tool.exe"},
        {"D:\\app\\tool.exe", "|\\", "tool.exe"},
        {"D:\\app\\tool.exe", "|.|", "D:\\app\\"},
        {"D:\\app\\tool.exe", "|", "D:\\app\\.exe"},
        {"D:\\app\\tool.exe", ".|", "D:\\app\\tool"},
        {"D:\\app\\tool.exe", "Settings.ini", "D:\\app\\Settings.ini"},
        {"D:\\app\\tool.exe", "readme", "D:\\app\\readme.exe"},
        {"D:\\app\\tool.exe", ".log", "D:\\app\\tool.log"},
        {"D:\\app\\tool.exe", "sub\\x.txt", "sub\\x.txt"},
        // Drive and folder travel together: a drive alone drops the folder.
        {"D:\\app\\tool.exe", "E:", "E:tool.exe"},
        {"D:\\app\\tool.exe", "", "D:\\app\\tool.exe"},
        {"", "|.|", ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " with " + c.other);
        EXPECT_STREQ(ModifyPath(c.path, c.other).data, c.result);
        Str inPlace(c.path);
        ModifyPath(inPlace, c.other);
        EXPECT_STREQ(inPlace.data, c.result);
    }
}

TEST(CompletePath, TakesTheMissingPartsFromTheDefaults) {
    const PathCase cases[] = {
        {"x", "D:\\d\\y.txt", "D:\\d\\x.txt"},
        {"E:\\x", "D:\\d\\y.txt", "E:\\x.txt"},
        // A folder without a drive keeps having none.
        {"\\f\\", "D:\\d\\y.txt", "\\f\\y.txt"},
        {"", "D:\\d\\y.txt", "D:\\d\\y.txt"},
        {"D:\\app\\tool.exe", "", "D:\\app\\tool.exe"},
        // The erase mark in the defaults leaves a part empty.
        {"x", "|\\|.|", "x"},
        {"x", ".|", "x"},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " with " + c.other);
        EXPECT_STREQ(CompletePath(c.path, c.other).data, c.result);
        Str inPlace(c.path);
        CompletePath(inPlace, c.other);
        EXPECT_STREQ(inPlace.data, c.result);
    }
}

TEST(PathParts, AppendRelativeJoinsFoldersAndTakesNameAndExtensionAsTheyAre) {
    PathParts base("D:\\app\\tool.exe");
    EXPECT_STREQ(base.AppendRelative(PathParts("E:sub\\x.txt")).Compose().data, "D:\\app\\sub\\x.txt");
    // Empty name and extension are taken too, and no erase mark applies.
    EXPECT_STREQ(base.AppendRelative(PathParts("more\\")).Compose().data, "D:\\app\\sub\\more\\");
    EXPECT_STREQ(base.AppendRelative(PathParts("|.|")).Compose().data, "D:\\app\\sub\\more\\|.|");
    // The record's own parts as the relative path.
    base.AppendRelative(base);
    EXPECT_STREQ(base.folder.data, "\\app\\sub\\more\\\\app\\sub\\more\\");
}

TEST(PathParts, AssignPartsCopiesAllFourAndFillMissingAndOverrideChain) {
    PathParts target;
    PathParts source("D:\\app\\tool.exe");
    target.AssignParts(source);
    source.name = "other";
    EXPECT_STREQ(target.Compose().data, "D:\\app\\tool.exe");
    target.AssignParts(target);
    EXPECT_STREQ(target.Compose().data, "D:\\app\\tool.exe");

    PathParts partial("readme");
    EXPECT_STREQ(partial.FillMissing(PathParts("C:\\doc\\x.txt")).Override(PathParts(".md")).Compose().data,
                 "C:\\doc\\readme.md");
}

TEST(TrailingSeparator, AddedUnlessEmptyOrPresentAndOneRemoved) {
    const PathCase cases[] = {
        // path, with a separator added, with one removed
        {"", "", ""},
        {"D:", "D:\\", "D:"},
        {"D:\\", "D:\\", "D:"},
        {"a/", "a/", "a"},
        {"a\\b", "a\\b\\", "a\\b"},
        {"a\\\\", "a\\\\", "a\\"},
        {"/", "/", ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(AddTrailingSeparator(c.path).data, c.other);
        const Str original(c.path);
        EXPECT_STREQ(AddTrailingSeparator(original).data, c.other);
        Str inPlace(c.path);
        AddTrailingSeparator(inPlace);
        EXPECT_STREQ(inPlace.data, c.other);

        EXPECT_STREQ(RemoveTrailingSeparator(c.path).data, c.result);
        EXPECT_STREQ(RemoveTrailingSeparator(original).data, c.result);
        inPlace = c.path;
        RemoveTrailingSeparator(inPlace);
        EXPECT_STREQ(inPlace.data, c.result);
        EXPECT_STREQ(original.data, c.path);
    }
}

#ifdef _WIN32
const char kProgramFileName[] = "gen_tests.exe";
#else
const char kProgramFileName[] = "gen_tests";
#endif

TEST(ProgramFileName, IsTheModuleFileWithoutDriveAndFolder) {
    EXPECT_STREQ(ProgramFileName().data, kProgramFileName);
}

// Parts and composed paths at and past their limits.
class PathLimits : public ::testing::Test {
protected:
    static std::string Run(unsigned count, char c) { return std::string(count, c); }
    RaiseCatcher catcher;
};

TEST_F(PathLimits, PartsUpToTheirLimitSplitAndLongerOnesRaise) {
    const std::string folder = Run(PathPartMaximum - 1, 'f') + "\\";
    const std::string name = Run(PathPartMaximum, 'n');
    const std::string extension = "." + Run(PathPartMaximum - 1, 'e');
    for (const std::string& path : {folder, name, extension}) {
        PathParts parts(path.c_str());
        EXPECT_EQ(strlen(parts.folder.data) + strlen(parts.name.data) + strlen(parts.extension.data), path.size());
    }
    for (const std::string& path : {"x" + folder, name + "n", extension + "e"}) {
        Raised raised = RaiseOf([&] { PathParts parts(path.c_str()); });
        EXPECT_EQ(raised.identity, PathTooLong);
    }
    EXPECT_EQ(RaiseOf([&] { ModifyPath("D:\\tool.exe", ("x" + folder).c_str()); }).identity, PathTooLong);
}

TEST_F(PathLimits, ComposedPathsUpToTheLimitAndLongerOnesRaise) {
    // "D:" + 511-character folder + 6-character name: 519 characters.
    const std::string folder = "\\" + Run(PathPartMaximum - 2, 'f') + "\\";
    const std::string path = "D:" + folder + "name.x";
    ASSERT_EQ(path.size(), ComposedPathMaximum);
    EXPECT_STREQ(PathParts(path.c_str()).Compose().data, path.c_str());
    EXPECT_EQ(RaiseOf([&] { ModifyPath(path.c_str(), "name.xy"); }).identity, PathTooLong);

    // Joined folders are parts too.
    PathParts joined(folder.c_str());
    EXPECT_EQ(RaiseOf([&] { joined.AppendRelative(PathParts("more\\")); }).identity, PathTooLong);
}

// A raise that comes back (a developer continued in the debugger) leaves
// every part and composed path cut at its limit, never longer.
TEST_F(PathLimits, ARaiseThatComesBackLeavesTextsCutAtTheirLimits) {
    static int raises;
    raises = 0;
    RaiseHook previous = SetRaiseHookForTesting([](const char* identity, const char*) {
        if (identity != PathTooLong) return false;
        ++raises;
        return true;
    });
    const std::string longName = Run(PathPartMaximum + 10, 'n') + "." + Run(PathPartMaximum + 10, 'e');
    PathParts parts(longName.c_str());
    Str composed = ModifyPath("D:\\tool.exe", ("\\" + Run(PathPartMaximum + 10, 'f') + "\\").c_str());
    SetRaiseHookForTesting(previous);

    EXPECT_GE(raises, 3);
    EXPECT_EQ(strlen(parts.name.data), PathPartMaximum);
    EXPECT_EQ(strlen(parts.extension.data), PathPartMaximum);
    EXPECT_LE(strlen(composed.data), ComposedPathMaximum);
    // The mask's folder comes with its empty drive, as in ModifyPath's own rule.
    EXPECT_EQ(std::string(composed.data, 2), "\\f");
}

}  // namespace
