// The snapshot a browser tab gets: the console's view and the visible
// windows of the display, as JSON for the front end.
#pragma once

#include <nlohmann/json.hpp>

#include "platform/mmc/host/HostSnapshot.h"
#include "platform/ui/Display.h"

namespace kv::mmc {

nlohmann::json ViewJson(const HostSnapshot& host, int view);
nlohmann::json DisplayJson(const kv::ui::Snapshot& display, uint64_t hiddenWindow);

}  // namespace kv::mmc
