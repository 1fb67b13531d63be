#include "platform/system/SystemInfo.h"

#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win/LastError.h"

namespace kv::platform {
namespace {

struct LocaleLanguage {
    const char* name;  // language_COUNTRY, or language alone for its default
    LANGID id;
};

const LocaleLanguage kLanguages[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"en", 0x0409},    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07},
    {"de_LU", 0x1007}, {"de", 0x0407},    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"fr", 0x040C},    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es", 0x0C0A},
    {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"it", 0x0410},    {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"nl", 0x0413},    {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"pt", 0x0816},    {"sv_SE", 0x041D},
    {"sv", 0x041D},    {"da_DK", 0x0406}, {"da", 0x0406},    {"nb_NO", 0x0414}, {"nb", 0x0414},
    {"fi_FI", 0x040B}, {"fi", 0x040B},    {"pl_PL", 0x0415}, {"pl", 0x0415},    {"cs_CZ", 0x0405},
    {"cs", 0x0405},    {"hu_HU", 0x040E}, {"hu", 0x040E},    {"ru_RU", 0x0419}, {"ru", 0x0419},
    {"tr_TR", 0x041F}, {"tr", 0x041F},    {"el_GR", 0x0408}, {"el", 0x0408},    {"ja_JP", 0x0411},
    {"ja", 0x0411},    {"ko_KR", 0x0412}, {"ko", 0x0412},    {"zh_CN", 0x0804}, {"zh_TW", 0x0404},
    {"zh", 0x0804},
};

}  // namespace

LANGID LangIdFromLocale(const char* locale) {
    if (locale == nullptr) return 0;
    std::string name(locale);
    size_t cut = name.find_first_of(".@");
    if (cut != std::string::npos) name.resize(cut);
    if (name.empty() || name == "C" || name == "POSIX") return 0x0409;
    for (const LocaleLanguage& l : kLanguages)
        if (name == l.name) return l.id;
    std::string language = name.substr(0, name.find('_'));
    for (const LocaleLanguage& l : kLanguages)
        if (language == l.name) return l.id;
    return 0;
}

}  // namespace kv::platform

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD major = 5, minor = 1, build = 2600, platform = VER_PLATFORM_WIN32_NT;
    if (const char* forced = std::getenv("KESTRAVA_WINVER")) {
        std::string text(forced);
        if (text == "fail") {
            SetLastError(ERROR_INVALID_FUNCTION);
            return FALSE;
        }
        if (text == "9x") {
            major = 4, minor = 10, build = 1998, platform = VER_PLATFORM_WIN32_WINDOWS;
        } else if (!text.empty()) {
            unsigned a = 0, b = 0;
            if (std::sscanf(text.c_str(), "%u.%u", &a, &b) >= 1) {
                major = a, minor = b;
                build = major < 5 ? 1381 : build;
            }
        }
    }
    info->dwMajorVersion = major;
    info->dwMinorVersion = minor;
    info->dwBuildNumber = build;
    info->dwPlatformId = platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

LANGID GetUserDefaultUILanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return kv::platform::LangIdFromLocale(value);
    }
    return 0x0409;
}

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Windows fixes the computer name at start-up; read once, it costs no
    // system call for every owner the walk names.
    static const std::string name = [] {
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "localhost");
        std::string text(host);
        text = text.substr(0, text.find('.'));
        if (text.size() > 15) text.resize(15);
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    }();
    if (buffer == nullptr || *size < name.size() + 1) {
        *size = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return TRUE;
}

void GetLocalTime(SYSTEMTIME* time) {
    struct timeval now {};
    ::gettimeofday(&now, nullptr);
    struct tm local {};
    time_t seconds = now.tv_sec;
    ::localtime_r(&seconds, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_usec / 1000);
}

void Sleep(DWORD milliseconds) {
    struct timespec request {static_cast<time_t>(milliseconds / 1000),
                             static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&request, &request) != 0) {
    }
}

DWORD GetTickCount() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000ULL + static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL);
}
