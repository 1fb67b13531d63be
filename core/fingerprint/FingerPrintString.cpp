#include "core/fingerprint/FingerPrintString.h"

#include <cstring>

#include "common/DebugLog.h"

HRESULT FingerPrintString(const char* text, char* fingerprint) {
    if (fingerprint == nullptr || text == nullptr) {
        WriteDebugLog(1, "NULL pointer for FingerPrint (string)");
        return S_FALSE;
    }
    MD5DigestText(text, std::strlen(text), fingerprint);
    return S_OK;
}
