#include "platform/vireo/Vireo.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/library/Library.h"
#include "platform/registry/Registry.h"

namespace {

constexpr size_t kMaxDocument = 64 * 1024;
constexpr DWORD kDefaultTimeOut = 30;
constexpr DWORD kMaxTimeOut = 600;

// WinInet's numbers for what can go wrong on the way to the server.
constexpr LONG kInternetTimeout = 12002;
constexpr LONG kInternetInternalError = 12004;
constexpr LONG kInternetInvalidUrl = 12005;
constexpr LONG kInternetUnrecognizedScheme = 12006;
constexpr LONG kInternetNameNotResolved = 12007;
constexpr LONG kInternetCannotConnect = 12029;
constexpr LONG kInternetConnectionAborted = 12030;
constexpr LONG kInternetConnectionReset = 12031;
constexpr LONG kInternetInvalidServerResponse = 12152;
constexpr LONG kInternetSecurityChannelError = 12157;

LONG InternetError(CURLcode code) {
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT: return kInternetTimeout;
        case CURLE_URL_MALFORMAT: return kInternetInvalidUrl;
        case CURLE_UNSUPPORTED_PROTOCOL: return kInternetUnrecognizedScheme;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return kInternetNameNotResolved;
        case CURLE_COULDNT_CONNECT: return kInternetCannotConnect;
        case CURLE_GOT_NOTHING: return kInternetConnectionAborted;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR: return kInternetConnectionReset;
        case CURLE_WEIRD_SERVER_REPLY: return kInternetInvalidServerResponse;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE: return kInternetSecurityChannelError;
        default: return kInternetInternalError;
    }
}

struct Settings {
    std::string address;
    DWORD timeOut = kDefaultTimeOut;
};

Settings ReadSettings() {
    Settings settings;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, VIREO_SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return settings;
    char address[2048] = {};
    DWORD type = 0;
    DWORD size = sizeof address - 1;
    if (RegQueryValueExA(key, "Address", nullptr, &type, reinterpret_cast<LPBYTE>(address), &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        address[size < sizeof address ? size : sizeof address - 1] = '\0';
        settings.address = address;
    }
    DWORD timeOut = 0;
    size = sizeof timeOut;
    if (RegQueryValueExA(key, "TimeOut", nullptr, &type, reinterpret_cast<LPBYTE>(&timeOut), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && timeOut > 0)
        settings.timeOut = timeOut < kMaxTimeOut ? timeOut : kMaxTimeOut;
    RegCloseKey(key);
    // Blanks around a pasted address are not part of it.
    while (!settings.address.empty() && std::isspace(static_cast<unsigned char>(settings.address.back())))
        settings.address.pop_back();
    size_t first = 0;
    while (first < settings.address.size() && std::isspace(static_cast<unsigned char>(settings.address[first]))) ++first;
    settings.address.erase(0, first);
    return settings;
}

struct Download {
    std::string body;
    bool tooLarge = false;
};

size_t Collect(char* data, size_t size, size_t count, void* context) {
    auto* download = static_cast<Download*>(context);
    size_t bytes = size * count;
    if (download->body.size() + bytes > kMaxDocument) {
        download->tooLarge = true;
        return 0;
    }
    download->body.append(data, bytes);
    return bytes;
}

// The build the document names for the product; false when it names none
// or a number that is not one.
bool FindBuild(const std::string& document, const std::string& productCode, LONG* build) {
    size_t at = 0;
    while (at < document.size()) {
        size_t end = document.find('\n', at);
        if (end == std::string::npos) end = document.size();
        std::string line = document.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
        size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
        if (line.compare(0, equals, productCode) != 0) continue;
        std::string number = line.substr(equals + 1);
        if (number.empty() || number.size() > 10) return false;
        for (char c : number)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        unsigned long value = std::strtoul(number.c_str(), nullptr, 10);
        if (value > 0x7FFFFFFFul) return false;
        *build = static_cast<LONG>(value);
        return true;
    }
    return false;
}

void InitialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

LONG CheckLatestBuild(LONG version, LPCSTR productCode, LONG* latestBuild, LONG* detail) {
    if (version != 1 || productCode == nullptr || productCode[0] == '\0' || latestBuild == nullptr ||
        detail == nullptr || std::strchr(productCode, '=') != nullptr || std::strchr(productCode, '\n') != nullptr)
        return VIREO_BAD_CALL;
    Settings settings = ReadSettings();
    if (settings.address.empty()) return VIREO_NO_ADDRESS;

    InitialiseCurl();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return VIREO_FAILED;
    Download download;
    curl_easy_setopt(curl, CURLOPT_URL, settings.address.c_str());
    // Only the web: an address must not make the check read files or talk
    // to other kinds of servers.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(settings.timeOut));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, static_cast<long>(settings.timeOut));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Vireo/1.0");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
    CURLcode code = curl_easy_perform(curl);
    long httpStatus = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpStatus);
    curl_easy_cleanup(curl);

    if (download.tooLarge) return VIREO_INCOMPLETE;
    if (code != CURLE_OK) {
        *detail = InternetError(code);
        return VIREO_INTERNET_ERROR;
    }
    // A file the server does not have, or an error page, names no build.
    if (httpStatus != 0 && (httpStatus < 200 || httpStatus > 299)) return VIREO_BAD_ANSWER;
    LONG build = -1;
    if (!FindBuild(download.body, productCode, &build)) return VIREO_BAD_ANSWER;
    *latestBuild = build;
    return VIREO_FOUND;
}

const KvOrdinalExport kOrdinals[] = {
    {VIREO_ORDINAL_CHECK, reinterpret_cast<FARPROC>(&CheckLatestBuild)},
    {0, nullptr},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* kv_export_ordinals() { return kOrdinals; }
