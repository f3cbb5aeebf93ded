#include "gen/Path.h"

#include <windows.h>

#include "gen/Err.h"
#include "gen/Pathw32.h"

const char PathTooLong[] = "Path too long: \"%.300s\"";

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool EndsInSeparator(const char* text) {
    size_t length = strlen(text);
    return length > 0 && IsSeparator(text[length - 1]);
}

// A part over its limit raises; should the raise come back it is cut.
Str BoundedPart(const char* path, const char* chars, size_t length) {
    if (length > PathPartMaximum) {
        RaiseError(PathTooLong, path);
        length = PathPartMaximum;
    }
    return Str(StrSlice(static_cast<unsigned>(length), chars));
}

bool IsEraseMark(const char* part) { return part[0] == '|' || (part[0] == '.' && part[1] == '|'); }

void TakePart(Str& target, const Str& source) {
    if (IsEraseMark(source.data))
        target = "";
    else
        target = source;
}

// The composed path, gathered in a fixed buffer that is never written past.
struct ComposedPath {
    char text[ComposedPathMaximum + 1];
    unsigned length = 0;
    bool cut = false;

    void Add(const char* chars, size_t count) {
        if (count > ComposedPathMaximum - length) {
            count = ComposedPathMaximum - length;
            cut = true;
        }
        memcpy(text + length, chars, count);
        length += static_cast<unsigned>(count);
    }
    void Add(const char* part) { Add(part, strlen(part)); }
};

}  // namespace

PathParts::PathParts() {
    drive.Release();
    folder.Release();
    name.Release();
    extension.Release();
}

PathParts::PathParts(const char* path) {
    const char* rest = path;
    if (path[0] != '\0' && path[1] == ':') {
        drive = StrSlice(2, path);
        rest = path + 2;
    }
    // One pass: where the name starts (after the last separator) and the
    // last dot. A lead byte and its trail byte are never either.
    const char* nameStart = rest;
    const char* lastDot = nullptr;
    const char* end = rest;
    for (; *end != '\0'; ++end) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*end)) && end[1] != '\0') {
            ++end;
        } else if (IsSeparator(*end)) {
            nameStart = end + 1;
        } else if (*end == '.') {
            lastDot = end;
        }
    }
    folder = BoundedPart(path, rest, static_cast<size_t>(nameStart - rest));
    const char* nameEnd = lastDot != nullptr && lastDot >= nameStart ? lastDot : end;
    name = BoundedPart(path, nameStart, static_cast<size_t>(nameEnd - nameStart));
    extension = BoundedPart(path, nameEnd, static_cast<size_t>(end - nameEnd));
}

Str PathParts::Compose() const {
    ComposedPath path;
    if (drive.data[0] != '\0') {
        path.Add(drive.data, 1);  // only the letter: the colon is written anew
        path.Add(":");
    }
    if (folder.data[0] != '\0') {
        path.Add(folder.data);
        if (!EndsInSeparator(folder.data)) path.Add("\\");
    }
    path.Add(name.data);
    if (extension.data[0] != '\0') {
        if (extension.data[0] != '.') path.Add(".");
        path.Add(extension.data);
    }
    path.text[path.length] = '\0';
    if (path.cut) RaiseError(PathTooLong, path.text);
    return Str(path.text);
}

PathParts& PathParts::FillMissing(const PathParts& defaults) {
    if (drive.data[0] == '\0' && folder.data[0] == '\0') {
        TakePart(drive, defaults.drive);
        TakePart(folder, defaults.folder);
    }
    if (name.data[0] == '\0') TakePart(name, defaults.name);
    if (extension.data[0] == '\0') TakePart(extension, defaults.extension);
    return *this;
}

PathParts& PathParts::Override(const PathParts& mask) {
    if (mask.drive.data[0] != '\0' || mask.folder.data[0] != '\0') {
        TakePart(drive, mask.drive);
        TakePart(folder, mask.folder);
    }
    if (mask.name.data[0] != '\0') TakePart(name, mask.name);
    if (mask.extension.data[0] != '\0') TakePart(extension, mask.extension);
    return *this;
}

PathParts& PathParts::AppendRelative(const PathParts& relative) {
    Str joined = Concat(folder, relative.folder);
    folder = BoundedPart(joined.data, joined.data, strlen(joined.data));
    name = relative.name;
    extension = relative.extension;
    return *this;
}

void PathParts::AssignParts(const PathParts& other) {
    drive = other.drive;
    folder = other.folder;
    name = other.name;
    extension = other.extension;
}

void CompletePath(Str& path, const char* defaults) { path = CompletePath(path.data, defaults); }

Str CompletePath(const char* path, const char* defaults) {
    PathParts parts(path);
    PathParts defaultParts(defaults);
    return parts.FillMissing(defaultParts).Compose();
}

void ModifyPath(Str& path, const char* mask) { path = ModifyPath(path.data, mask); }

Str ModifyPath(const char* path, const char* mask) {
    PathParts parts(path);
    PathParts maskParts(mask);
    return parts.Override(maskParts).Compose();
}

void AddTrailingSeparator(Str& path) {
    if (path.data[0] != '\0' && !EndsInSeparator(path.data)) path = FormatStr("%s\\", path.data);
}

Str AddTrailingSeparator(const Str& path) { return AddTrailingSeparator(path.data); }

Str AddTrailingSeparator(const char* path) {
    if (path[0] == '\0' || EndsInSeparator(path)) return Str(path);
    return FormatStr("%s\\", path);
}

void RemoveTrailingSeparator(Str& path) {
    if (EndsInSeparator(path.data)) path = StrSlice(path.data, 0, path.Length() - 1);
}

Str RemoveTrailingSeparator(const Str& path) { return RemoveTrailingSeparator(path.data); }

Str RemoveTrailingSeparator(const char* path) {
    unsigned length = static_cast<unsigned>(strlen(path));
    return Str(StrSlice(path, 0, EndsInSeparator(path) ? length - 1 : length));
}

Str ProgramFileName() {
    Str path = ModuleFileName();
    ModifyPath(path, "|/");
    return path;
}
