// The runtime's shared opening of buffered streams, declared for POSIX hosts.
// Windows declares _fsopen in <stdio.h> and the share modes here; callers
// include both headers, so here they come together.
#pragma once

#include <cstdio>

#define _SH_DENYRW 0x10  // nobody else may open the file
#define _SH_DENYWR 0x20  // others may open it for reading only
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40

extern "C" {

// fopen with a share mode. Only _SH_DENYRW and _SH_DENYWR are kept, by
// advisory locks (flock) that every _fsopen honours: a stream opened for
// writing (w, a or +) locks exclusively, one opened for reading shared, and
// an open that cannot lock fails with EACCES, before anything is truncated.
// "t" and "b" are accepted and mean nothing; "\\" separates like "/"; a
// folder cannot be opened (EACCES).
FILE* _fsopen(const char* path, const char* mode, int shareFlag);

}  // extern "C"
