// Inside the window model: the names an image list holds, for the display.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/CommCtrl.h"

namespace kv::ui::detail {
std::vector<std::string> ImageNames(HIMAGELIST list);
}
