// What differs between the deliverables that carry the common layer: log file
// and line form, line buffer, which settings and product strings they read,
// and where their own module lies. Each deliverable compiles the layer with
// KV_DELIVERABLE naming itself; g_Deliverable starts as its profile.
#pragma once

#include <cstddef>

#include "platform/win/WinTypes.h"

enum class DeliverableKind { Engine, Service, Launcher, Console };

enum class LogLineStyle {
    WithMilliseconds,  // "%B %d, %Y %H:%M:%S", then "%s %d " with the milliseconds
    TrailingBlank,     // "%B %d, %Y %H:%M:%S "
};

struct DeliverableProfile {
    DeliverableKind kind;
    const char* logFileName;
    LogLineStyle lineStyle;
    size_t lineBuffer;        // bytes, terminator included
    size_t longestMessage;    // characters kept of one message; 0 = as many as fit
    bool settingsEntryExit;   // GetDebugSettingsFromRegistry writes >> and << lines
    const char* modulePathName;  // name in the >> and << lines of GetModulePath
    const char* moduleFile;   // own module ("OrvEngine.dll"); null = the program
    const DWORD* productCodes;
    size_t productCodeCount;
    unsigned versionErrorLevel;   // "Error when trying to retreive system version"
    unsigned noLanguageLevel;     // "Failed to load the system language"
};

extern const DeliverableProfile kEngineProfile;
extern const DeliverableProfile kServiceProfile;
extern const DeliverableProfile kLauncherProfile;
extern const DeliverableProfile kConsoleProfile;

// The profile of the deliverable this copy of the layer is compiled into.
extern DeliverableProfile g_Deliverable;
