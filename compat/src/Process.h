// Processes (Process.cpp), for the other sources that start programs.
#pragma once

#include <spawn.h>

// Initialises attributes so that a child started with them begins with no
// signal blocked and SIGPIPE at its default, as a freshly started Windows
// program knows nothing of this process's signals. The caller destroys them.
void InitChildAttributes(posix_spawnattr_t* attributes);
