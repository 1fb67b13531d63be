#include "platform/com/Guid.h"

#include <cstdio>
#include <cstring>

#include "platform/text/CodePage.h"

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace kv::platform {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[at]; false on a non-digit.
bool ReadHex(const std::string& text, size_t at, int digits, uint32_t* value) {
    uint32_t result = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexDigit(text[at + i]);
        if (d < 0) return false;
        result = (result << 4) | static_cast<uint32_t>(d);
    }
    *value = result;
    return true;
}

}  // namespace

std::string GuidText(REFGUID guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

bool GuidFromText(const std::string& text, GUID* guid) {
    if (guid == nullptr) return false;
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return false;
    uint32_t v = 0;
    GUID result{};
    if (!ReadHex(text, 1, 8, &v)) return false;
    result.Data1 = v;
    if (!ReadHex(text, 10, 4, &v)) return false;
    result.Data2 = static_cast<WORD>(v);
    if (!ReadHex(text, 15, 4, &v)) return false;
    result.Data3 = static_cast<WORD>(v);
    static const size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kByteAt[i], 2, &v)) return false;
        result.Data4[i] = static_cast<BYTE>(v);
    }
    *guid = result;
    return true;
}

}  // namespace kv::platform

int StringFromGUID2(REFGUID guid, LPOLESTR text, int capacity) {
    if (text == nullptr || capacity < 39) return 0;
    std::string narrow = kv::platform::GuidText(guid);
    for (size_t i = 0; i < narrow.size(); ++i) text[i] = static_cast<OLECHAR>(narrow[i]);
    text[narrow.size()] = 0;
    return static_cast<int>(narrow.size() + 1);
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
    if (clsid == nullptr) return E_INVALIDARG;
    *clsid = GUID_NULL;
    if (text == nullptr) return CO_E_CLASSSTRING;
    std::string narrow = kv::platform::Utf16ToUtf8(text, kv::platform::WideLength(text));
    return kv::platform::GuidFromText(narrow, clsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
    HRESULT hr = CLSIDFromString(text, iid);
    return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}
