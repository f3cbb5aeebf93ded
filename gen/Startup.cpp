// The process-wide objects of the error framework, constructed in their
// places of the start-up order (gen/Startup.h).
#include "gen/Startup.h"

#include "gen/Err.h"
#include "gen/Ini.h"

Str ErrorCaption GEN_STARTUP(StartupErrorCaption)("Error");

// The configuration store's texts: no settings file bound, no language.
Str PathPrefix GEN_STARTUP(StartupStoreTexts);
Str LanguagePath GEN_STARTUP(StartupStoreTexts);

// Constructed after the others, so that an error raised while they start
// still finds a frame (TopFrameSlot clears it on first use).
ErrFrame BottomFrame GEN_STARTUP(StartupBottomFrame);
