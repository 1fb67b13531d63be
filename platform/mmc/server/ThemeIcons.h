// Icons of the installed theme, by name and size, for the front end: the
// names the snap-in and the window model use ("folder", "drive-harddisk").
#pragma once

#include <map>
#include <string>

namespace kv::mmc {

class ThemeIcons {
public:
    // Indexes the theme's PNG icons under the folder (one level of categories
    // below each size folder).
    explicit ThemeIcons(std::string themeFolder = "/usr/share/icons/Adwaita");
    // The file of the icon at the size (16, 24, 32 or 48), falling back to
    // the nearest size the theme has; empty when the theme has no such icon.
    std::string Find(const std::string& name, int size) const;

private:
    std::map<int, std::map<std::string, std::string>> m_bySize;
};

}  // namespace kv::mmc
