// The order of the library's static initialisation, fixed in one place. The
// library's process-wide objects are constructed in this order, before the
// program's own static objects, and their releases run at exit in reverse:
//   1. ErrorCaption is set to "Error"           (gen/Startup.cpp)
//   2. the scratch buffer is set empty          (gen/Str.cpp)
//   3. the store's path prefix and language path are set to no text (gen/Startup.cpp)
//   4. the module handle of the running program is stored  (gen/Pathw32.cpp)
//   5. the bottom error frame is cleared        (gen/Startup.cpp)
// An object of class type takes its place with GEN_STARTUP(step), e.g.
//   StrBuilder scratch GEN_STARTUP(StartupScratchBuffer);
// (the attribute accepts class objects only: a plain value is stored by a
// small object's constructor, as the module handle is).
// Priorities below 200 stay free for code that must run before the library.
#pragma once

#define StartupErrorCaption 200
#define StartupScratchBuffer 210
#define StartupStoreTexts 220
#define StartupModuleHandle 230
#define StartupBottomFrame 240

#define GEN_STARTUP(step) __attribute__((init_priority(step)))
