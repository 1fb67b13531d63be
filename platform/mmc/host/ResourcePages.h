// "res://MODULE/PAGE#anchor" addresses: the HTML pages a loaded module
// carries as resources.
#pragma once

#include <string>

namespace kv::mmc {

// Splits a res:// address into the module path and the page name (the
// anchor dropped); false for any other address.
bool ParseResourceAddress(const std::string& address, std::string* module, std::string* page);

// The page's bytes from a module already loaded in this process (never
// loads one); false when the module or the page is not there.
bool LoadResourcePage(const std::string& module, const std::string& page, std::string* html);

}  // namespace kv::mmc
