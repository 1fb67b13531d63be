// The ANSI code page is UTF-8. These are the conversions between it and UTF-16,
// and the length-prefixed BSTR, as the COM code of the system expects them.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

typedef WCHAR* BSTR;

#define CP_ACP 0u
#define CP_UTF8 65001u
#define MB_ERR_INVALID_CHARS 0x08u

// cchWide 0 asks for the length needed; a source length of -1 includes the
// terminator. Invalid UTF-8 fails with ERROR_NO_UNICODE_TRANSLATION under
// MB_ERR_INVALID_CHARS and becomes U+FFFD otherwise.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int cbSource, LPWSTR wide,
                        int cchWide);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int cchSource, LPSTR multi,
                        int cbMulti, LPCSTR defaultChar, BOOL* usedDefault);

BSTR SysAllocString(LPCWSTR text);
BSTR SysAllocStringLen(LPCWSTR text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// The COM task allocator.
void* CoTaskMemAlloc(size_t bytes);
void CoTaskMemFree(void* block);

namespace kv::platform {

std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const char16_t* text, size_t length);
size_t WideLength(LPCWSTR text);
// Appends the UTF-8 form of one code point.
void AppendUtf8(char32_t codePoint, std::string& out);

}  // namespace kv::platform
