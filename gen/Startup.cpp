// The process-wide objects of the error framework, constructed in their
// places of the start-up order (gen/Startup.h).
#include "gen/Startup.h"

#include "gen/Err.h"

Str ErrorCaption GEN_STARTUP(StartupErrorCaption)("Error");

// The store's PathPrefix and LanguagePath take StartupStoreTexts when the
// configuration store joins the library.

// Constructed after the others, so that an error raised while they start
// still finds a frame (TopFrameSlot clears it on first use).
ErrFrame BottomFrame GEN_STARTUP(StartupBottomFrame);
