#include "engine/alert/ResourceFormat.h"

#include <cstdio>
#include <vector>

#include "common/ResourceModule.h"
#include "platform/resource/StringResource.h"

std::string FormatResourceText(const std::string& format, const std::vector<FormatArgument>& arguments) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out.push_back(format[i]);
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        // %[flags][width][.precision][l]conversion, width and precision as digits.
        size_t j = i + 1;
        while (j < format.size() && std::string("-+ #0").find(format[j]) != std::string::npos) ++j;
        while (j < format.size() && format[j] >= '0' && format[j] <= '9') ++j;
        if (j < format.size() && format[j] == '.') {
            ++j;
            while (j < format.size() && format[j] >= '0' && format[j] <= '9') ++j;
        }
        std::string flagsAndWidth = format.substr(i, j - i);
        if (j < format.size() && format[j] == 'l') ++j;
        char conversion = j < format.size() ? format[j] : '\0';
        bool text = conversion == 's';
        bool number = conversion == 'd' || conversion == 'i';
        if ((text || number) && next < arguments.size() &&
            (text ? std::holds_alternative<std::string>(arguments[next])
                  : std::holds_alternative<LONG>(arguments[next]))) {
            std::vector<char> buffer(64);
            if (text) {
                const std::string& value = std::get<std::string>(arguments[next]);
                buffer.resize(value.size() + flagsAndWidth.size() + 64);
                std::snprintf(buffer.data(), buffer.size(), (flagsAndWidth + "s").c_str(), value.c_str());
            } else {
                std::snprintf(buffer.data(), buffer.size(), (flagsAndWidth + "ld").c_str(),
                              static_cast<long>(std::get<LONG>(arguments[next])));
            }
            out += buffer.data();
            ++next;
            i = j;
        } else {
            out.push_back('%');
        }
    }
    return out;
}

std::string LoadEngineString(UINT id) {
    std::vector<char> buffer(4096, '\0');
    if (LoadStringA(GetResourceHandle(), id, buffer.data(), static_cast<int>(buffer.size())) == 0)
        return std::string();
    return buffer.data();
}
