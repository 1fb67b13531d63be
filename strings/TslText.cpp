#include "strings/TslText.h"

#include <cstring>

#include "platform/com/ComError.h"
#include "platform/library/Library.h"
#include "platform/resource/StringResource.h"
#include "platform/ui/MessageBox.h"
#include "platform/win/LastError.h"
#include "strings/CodeMap.h"

namespace {

const int kLoadBufferChars = 1024;

[[noreturn]] void RaiseLastError() {
    DWORD error = GetLastError();
    _com_issue_error(error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL);
}

}  // namespace

LONG GetResource(DWORD code, BSTR* text) {
    HMODULE self = GetModuleHandleA("tsltext");
    UINT id = StringIdOfCode(code);
    if (id == 0) return 1;
    char buffer[kLoadBufferChars] = {};
    if (LoadStringA(self, id, buffer, kLoadBufferChars) == 0) return -1;
    int wideLength = MultiByteToWideChar(CP_ACP, 0, buffer, -1, nullptr, 0);
    if (wideLength <= 0) RaiseLastError();
    std::u16string wide(static_cast<size_t>(wideLength), u'\0');
    if (MultiByteToWideChar(CP_ACP, 0, buffer, -1, wide.data(), wideLength) != wideLength)
        RaiseLastError();
    BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wideLength - 1));
    if (result == nullptr) _com_issue_error(E_OUTOFMEMORY);
    if (text == nullptr) {
        SysFreeString(result);
        _com_issue_error(E_INVALIDARG);
    }
    *text = result;
    return 0;
}

LONG GetResourceString(DWORD code, LPSTR buffer) {
    BSTR text = nullptr;
    LONG result = GetResource(code, &text);
    if (result != 0) {
        MessageBoxA(nullptr, "String not found in TslText.dll", nullptr, MB_OK);
        return result;
    }
    int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0 || length > kLoadBufferChars) {
        SysFreeString(text);
        RaiseLastError();
    }
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, length, nullptr, nullptr);
    SysFreeString(text);
    return 0;
}
