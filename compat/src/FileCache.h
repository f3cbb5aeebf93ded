// Parsed copies of recently used files, each checked against the file's
// identity (device and inode), size and modification time on every use: a
// change by any writer, in this process or another, is seen at once, while
// repeated reads of an unchanged file neither read nor parse it again. The
// writers of compat replace a file by a rename, which gives it a new inode.
// Not locked: its owner serialises the calls.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <list>
#include <string>
#include <utility>

#include "Files.h"

template <typename Parsed>
class FileCache {
public:
    explicit FileCache(size_t capacity) : capacity(capacity) {}

    // The parsed copy of the file at path as it is now: the cached one, or
    // parse(text) of the file read afresh. Null when the file cannot be read
    // (error: errno, as ReadWholeFile reports it).
    template <typename Parse>
    const Parsed* Load(const std::string& path, Parse parse, int& error) {
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            error = errno;
            return nullptr;
        }
        for (auto c = entries.begin(); c != entries.end(); ++c) {
            if (c->path != path) continue;
            if (!Same(*c, info)) break;
            entries.splice(entries.begin(), entries, c);
            return &entries.front().parsed;
        }
        std::string text;
        if (!ReadWholeFile(path, text, error, &info)) return nullptr;
        return &Remember(path, info, parse(std::move(text)));
    }

    // parsed as the copy of the file at path, whose state is info (after a
    // write, which knows what it wrote).
    const Parsed& Remember(const std::string& path, const struct stat& info, Parsed parsed) {
        entries.remove_if([&](const Entry& e) { return e.path == path; });
        entries.push_front(Entry{path, info.st_dev, info.st_ino, info.st_size, info.st_mtim, std::move(parsed)});
        if (entries.size() > capacity) entries.pop_back();
        return entries.front().parsed;
    }

private:
    struct Entry {
        std::string path;
        dev_t device;
        ino_t inode;
        off_t size;
        struct timespec modified;
        Parsed parsed;
    };

    static bool Same(const Entry& e, const struct stat& info) {
        return e.device == info.st_dev && e.inode == info.st_ino && e.size == info.st_size &&
               e.modified.tv_sec == info.st_mtim.tv_sec && e.modified.tv_nsec == info.st_mtim.tv_nsec;
    }

    size_t capacity;
    std::list<Entry> entries;  // most recently used first
};
