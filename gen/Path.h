// Paths as text, worked on part by part: split into drive, folder, name and
// extension, composed back, and combined with another path. Both "/" and
// "\\" separate on input; composing only ever writes "\\".
//
// Limits: a split part (folder, name, extension) holds at most
// PathPartMaximum characters, a composed path at most ComposedPathMaximum.
// Going over either raises PathTooLong; should the raise come back, the part
// or the path is cut to its limit, so nothing is ever written past it.
#pragma once

#include "gen/Str.h"

const unsigned PathPartMaximum = 511;
const unsigned ComposedPathMaximum = 519;

// The template (and identity) of the error an over-long path raises.
extern const char PathTooLong[];

// One path split into four owned parts; an absent part is the empty text.
// A part of a path to combine with that begins with "|" or ".|" is the erase
// mark: FillMissing and Override copy it as the empty text.
class PathParts {
public:
    // Destroyed in reverse order: extension, name, folder, drive.
    Str drive;      // "D:" or empty
    Str folder;     // up to and including the last separator: "\data\sub\"
    Str name;       // without extension
    Str extension;  // with its dot: ".txt"

    // All four parts released: the record may only be assigned or destroyed.
    PathParts();
    explicit PathParts(const char* path);
    explicit PathParts(const Str& path) : PathParts(path.data) {}
    PathParts(const PathParts&) = delete;
    PathParts& operator=(const PathParts&) = delete;

    Str Compose() const;
    // Takes the parts this record lacks from defaults: drive and folder
    // together when both are empty, then name, then extension.
    PathParts& FillMissing(const PathParts& defaults);
    // Takes the parts mask has: drive and folder together when the mask has
    // either, then name, then extension.
    PathParts& Override(const PathParts& mask);
    // Appends relative's folder to this folder and takes its name and
    // extension, even empty ones; the drive stays, no erase mark applies.
    PathParts& AppendRelative(const PathParts& relative);
    // Copies all four parts (each copy made before the old text is freed).
    void AssignParts(const PathParts& other);
};

// path with the parts it lacks taken from defaults (FillMissing).
void CompletePath(Str& path, const char* defaults);
Str CompletePath(const char* path, const char* defaults);
// path with the parts mask has taken from it (Override): "|/" leaves name
// and extension, "|.|" the drive and folder, ".log" another extension.
void ModifyPath(Str& path, const char* mask);
Str ModifyPath(const char* path, const char* mask);

// Appends "\\" unless the text is empty or already ends in "/" or "\\".
void AddTrailingSeparator(Str& path);
Str AddTrailingSeparator(const Str& path);
Str AddTrailingSeparator(const char* path);
// Removes one final "/" or "\\", if there is one.
void RemoveTrailingSeparator(Str& path);
Str RemoveTrailingSeparator(const Str& path);
Str RemoveTrailingSeparator(const char* path);

// The running program's file name and extension, without drive and folder.
Str ProgramFileName();
