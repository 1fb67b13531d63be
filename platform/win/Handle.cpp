#include "platform/win/Handle.h"

#include "platform/win/LastError.h"

BOOL CloseHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<KvHandle*>(handle);
    return TRUE;
}
