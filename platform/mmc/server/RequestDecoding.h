// The front end's requests, decoded and checked: console commands and
// input for the display's windows. Anything malformed is refused whole.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "platform/mmc/host/HostCommand.h"
#include "platform/ui/Display.h"

namespace kv::mmc {

// False with a reason when the body is not a command.
bool DecodeCommand(const nlohmann::json& body, HostCommand* command, std::string* error);
bool DecodeWindowInput(const nlohmann::json& body, kv::ui::Input* input, std::string* error);

}  // namespace kv::mmc
