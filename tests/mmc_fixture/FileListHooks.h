// The test snap-in's "Files" node: result items whose names and images the
// snap-in supplies when the list asks, a call-window-procedure hook that
// gives each item its state image when the list asks for it, and a message
// hook that swallows Shift+click and toggles an item's state on a click on
// its state image.
#pragma once

#include <string>

#include "platform/mmc/SnapIn.h"

namespace filelist {

constexpr MMC_COOKIE kFirstFile = 200;
constexpr int kFileCount = 3;

using LogLine = void (*)(const std::string&);

// Fills the list and installs the hooks on the calling (user-interface) thread.
void Show(IResultData* results, LogLine log);
// Removes the hooks.
void Hide();
std::u16string Name(MMC_COOKIE cookie);

}  // namespace filelist
