// The C runtime's file search and low-level file calls, declared for POSIX
// hosts as the Windows runtime declares them: the record keeps its field
// order and widths (64-bit times, a 32-bit size), and calls answer -1 with
// errno set. Paths take "\\" as well as "/".
#pragma once

#include <cstdint>
#include <cstdio>

typedef int64_t __time64_t;
typedef uint32_t _fsize_t;

#define _A_NORMAL 0x00
#define _A_RDONLY 0x01
#define _A_HIDDEN 0x02
#define _A_SYSTEM 0x04
#define _A_SUBDIR 0x10
#define _A_ARCH 0x20

// _sopen's flags (Windows declares them in <fcntl.h>) and permissions (in
// <sys/stat.h>), with the Windows values.
#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_RDWR 0x0002
#define _O_APPEND 0x0008
#define _O_CREAT 0x0100
#define _O_TRUNC 0x0200
#define _O_EXCL 0x0400
#define _O_TEXT 0x4000
#define _O_BINARY 0x8000
#define _S_IWRITE 0x0080
#define _S_IREAD 0x0100

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

// A descriptor opened with a share mode (<share.h>) kept as _fsopen keeps
// it; one argument follows, the permissions of a created file: without
// _S_IWRITE it is read-only, and the umask applies. _O_CREAT | _O_EXCL
// fails with EEXIST when anything has the name, a link included. _O_TEXT
// and _O_BINARY mean nothing.
int _sopen(const char* path, int flags, int shareFlag, ...);
int _close(int descriptor);
// Declared by Windows in <stdio.h>: a stream over the descriptor ("t" and "b"
// accepted), which is never truncated.
FILE* _fdopen(int descriptor, const char* mode);

// 0 when the path names a file or folder (mode 0 only: existence).
int _access(const char* path, int mode);
int _unlink(const char* path);
// Writes the file's data to the device (fsync).
int _commit(int descriptor);
// Sets the file's size; 0 or an errno value, as on Windows.
int _chsize_s(int descriptor, int64_t size);
int64_t _filelengthi64(int descriptor);
// Declared by Windows in <stdio.h>, with the streams.
int _fileno(FILE* stream);
int64_t _ftelli64(FILE* stream);
// Drops what the stream has buffered, as Windows' runtime does on a seek.
int _fseeki64(FILE* stream, int64_t offset, int origin);

}  // extern "C"
