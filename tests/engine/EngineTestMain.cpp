// Glue between the shared fixtures and the engine's copy of the common layer.
#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/Settings.h"

namespace kvtest {

void RefreshEngineSettings() {
    LoadProductStrings();
    GetDebugSettingsFromRegistry();
}

}  // namespace kvtest
