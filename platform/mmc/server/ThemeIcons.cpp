#include "platform/mmc/server/ThemeIcons.h"

#include <filesystem>
#include <system_error>

namespace kv::mmc {

namespace fs = std::filesystem;

ThemeIcons::ThemeIcons(std::string themeFolder) {
    for (int size : {16, 24, 32, 48}) {
        fs::path folder = fs::path(themeFolder) / (std::to_string(size) + "x" + std::to_string(size));
        std::error_code error;
        for (fs::directory_iterator category(folder, error), end; !error && category != end; category.increment(error)) {
            std::error_code inner;
            for (fs::directory_iterator file(category->path(), inner), last; !inner && file != last; file.increment(inner)) {
                std::string name = file->path().filename().string();
                static const std::string symbolic = ".symbolic.png";
                if (name.size() > symbolic.size() && name.compare(name.size() - symbolic.size(), symbolic.size(), symbolic) == 0) {
                    // "x-symbolic.symbolic.png" answers to "x-symbolic" and,
                    // when the theme has no full-colour "x", to "x".
                    std::string stem = name.substr(0, name.size() - symbolic.size());
                    m_bySize[size].emplace(stem, file->path().string());
                    static const std::string suffix = "-symbolic";
                    if (stem.size() > suffix.size() && stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0)
                        m_bySize[size].emplace("~" + stem.substr(0, stem.size() - suffix.size()), file->path().string());
                } else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) {
                    m_bySize[size][name.substr(0, name.size() - 4)] = file->path().string();
                }
            }
        }
    }
}

std::string ThemeIcons::Find(const std::string& name, int size) const {
    static const int order16[] = {16, 24, 32, 48};
    static const int order32[] = {32, 48, 24, 16};
    const int* order = size <= 16 ? order16 : order32;
    for (int i = 0; i < 4; ++i) {
        auto sized = m_bySize.find(order[i]);
        if (sized == m_bySize.end()) continue;
        auto it = sized->second.find(name);
        if (it != sized->second.end()) return it->second;
    }
    for (int i = 0; i < 4; ++i) {
        auto sized = m_bySize.find(order[i]);
        if (sized == m_bySize.end()) continue;
        auto it = sized->second.find("~" + name);
        if (it != sized->second.end()) return it->second;
    }
    return std::string();
}

}  // namespace kv::mmc
