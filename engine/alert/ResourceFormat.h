// Filling the format texts of the language library. The texts come from a
// file outside the program, so they are never handed to printf: each
// conversion takes the next argument only when its kind matches (%s a text,
// %d/%i/%ld a number), and anything else is written out as it stands.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "platform/win/WinTypes.h"

typedef std::variant<std::string, LONG> FormatArgument;

std::string FormatResourceText(const std::string& format, const std::vector<FormatArgument>& arguments);

// The text of a string id of the engine's language library; empty when it
// cannot be loaded.
std::string LoadEngineString(UINT id);
