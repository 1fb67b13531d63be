// The snap-in interfaces speak UTF-16; the display and the front end UTF-8.
#pragma once

#include <string>

#include "platform/text/CodePage.h"

namespace kv::mmc {

inline std::string Narrow(const char16_t* text) {
    if (text == nullptr) return std::string();
    return kv::platform::Utf16ToUtf8(text, kv::platform::WideLength(text));
}
inline std::string Narrow(const std::u16string& text) { return kv::platform::Utf16ToUtf8(text.data(), text.size()); }
inline std::u16string Widen(const std::string& text) { return kv::platform::Utf8ToUtf16(text); }

// A copy in task memory, as texts handed to the snap-in are.
inline LPOLESTR TaskCopy(const std::u16string& text) {
    auto* copy = static_cast<char16_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(char16_t)));
    if (copy == nullptr) return nullptr;
    text.copy(copy, text.size());
    copy[text.size()] = 0;
    return copy;
}

}  // namespace kv::mmc
