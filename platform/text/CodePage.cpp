#include "platform/text/CodePage.h"

#include <cstdlib>
#include <cstring>

#include "platform/win/LastError.h"

namespace kv::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence; returns false for overlong forms, surrogates,
// values past U+10FFFF and truncated sequences.
bool DecodeOne(const unsigned char* s, size_t n, size_t& used, char32_t& cp) {
    unsigned char c = s[0];
    size_t len;
    char32_t min;
    if (c < 0x80) { cp = c; used = 1; return true; }
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; min = 0x10000; }
    else { used = 1; return false; }
    if (n < len) { used = 1; return false; }
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) { used = i; return false; }
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    used = len;
    return cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

bool ToUtf16(const unsigned char* s, size_t n, bool strict, std::u16string& out) {
    size_t i = 0;
    while (i < n) {
        size_t used = 0;
        char32_t cp = 0;
        if (!DecodeOne(s + i, n - i, used, cp)) {
            if (strict) return false;
            cp = kReplacement;
        }
        i += used;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return true;
}


struct BstrHeader {
    uint32_t byteLength;
};

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    ToUtf16(reinterpret_cast<const unsigned char*>(text.data()), text.size(), false, out);
    return out;
}

std::string Utf16ToUtf8(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(cp, out);
    }
    return out;
}

void AppendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

size_t WideLength(LPCWSTR text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

}  // namespace kv::platform

using kv::platform::WideLength;

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int cbSource, LPWSTR wide,
                        int cchWide) {
    if (source == nullptr || cchWide < 0 || (codePage != CP_ACP && codePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = cbSource < 0 ? std::strlen(source) + 1 : static_cast<size_t>(cbSource);
    std::u16string out;
    if (!kv::platform::ToUtf16(reinterpret_cast<const unsigned char*>(source), n,
                               (flags & MB_ERR_INVALID_CHARS) != 0, out)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (cchWide == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cchWide)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(wide, out.data(), out.size() * sizeof(WCHAR));
    return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR source, int cchSource, LPSTR multi,
                        int cbMulti, LPCSTR, BOOL* usedDefault) {
    if (source == nullptr || cbMulti < 0 || (codePage != CP_ACP && codePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = cchSource < 0 ? WideLength(source) + 1 : static_cast<size_t>(cchSource);
    std::string out = kv::platform::Utf16ToUtf8(source, n);
    if (usedDefault != nullptr) *usedDefault = FALSE;
    if (cbMulti == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cbMulti)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(multi, out.data(), out.size());
    return static_cast<int>(out.size());
}

BSTR SysAllocStringLen(LPCWSTR text, UINT length) {
    auto* block = static_cast<unsigned char*>(
        std::malloc(sizeof(kv::platform::BstrHeader) + (static_cast<size_t>(length) + 1) * sizeof(WCHAR)));
    if (block == nullptr) return nullptr;
    auto* header = reinterpret_cast<kv::platform::BstrHeader*>(block);
    header->byteLength = length * static_cast<uint32_t>(sizeof(WCHAR));
    BSTR result = reinterpret_cast<BSTR>(block + sizeof(kv::platform::BstrHeader));
    if (text != nullptr) std::memcpy(result, text, length * sizeof(WCHAR));
    else std::memset(result, 0, length * sizeof(WCHAR));
    result[length] = 0;
    return result;
}

BSTR SysAllocString(LPCWSTR text) {
    if (text == nullptr) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(WideLength(text)));
}

void SysFreeString(BSTR text) {
    if (text == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(text) - sizeof(kv::platform::BstrHeader));
}

UINT SysStringByteLen(BSTR text) {
    if (text == nullptr) return 0;
    return reinterpret_cast<kv::platform::BstrHeader*>(reinterpret_cast<unsigned char*>(text) -
                                                       sizeof(kv::platform::BstrHeader))
        ->byteLength;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(WCHAR); }

void* CoTaskMemAlloc(size_t bytes) { return std::malloc(bytes); }
void CoTaskMemFree(void* block) { std::free(block); }
