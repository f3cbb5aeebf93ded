// The C runtime's file search, declared for POSIX hosts as the Windows
// runtime declares it: the record keeps its field order and widths (64-bit
// times, a 32-bit size), and searches answer -1 with errno set.
#pragma once

#include <cstdint>

typedef int64_t __time64_t;
typedef uint32_t _fsize_t;

#define _A_NORMAL 0x00
#define _A_RDONLY 0x01
#define _A_HIDDEN 0x02
#define _A_SYSTEM 0x04
#define _A_SUBDIR 0x10
#define _A_ARCH 0x20

struct _finddata64i32_t {
    unsigned attrib;
    __time64_t time_create;
    __time64_t time_access;
    __time64_t time_write;
    _fsize_t size;
    char name[260];
};

extern "C" {

// pattern: a folder (either separator) and a name with * and ? wildcards.
// Returns a handle and the first entry, or -1 with errno ENOENT when nothing
// matches or the folder does not exist.
intptr_t _findfirst64i32(const char* pattern, struct _finddata64i32_t* entry);
// 0 and the next entry, or -1 with errno ENOENT at the end.
int _findnext64i32(intptr_t handle, struct _finddata64i32_t* entry);
// 0, or -1 with errno EINVAL for a handle that is not an open search.
int _findclose(intptr_t handle);

}  // extern "C"
