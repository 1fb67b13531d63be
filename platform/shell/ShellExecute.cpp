#include "platform/shell/ShellExecute.h"

#include <strings.h>

#include <cstdint>

#include "platform/taskscheduler/internal/WorkItemProcess.h"
#include "platform/win/LastError.h"

namespace {

HINSTANCE Result(uintptr_t value) { return reinterpret_cast<HINSTANCE>(value); }

}  // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory, int) {
    if (operation != nullptr && *operation != '\0' && strcasecmp(operation, "open") != 0) {
        SetLastError(1155);  // ERROR_NO_ASSOCIATION
        return Result(SE_ERR_NOASSOC);
    }
    if (file == nullptr || *file == '\0') {
        SetLastError(2);
        return Result(SE_ERR_FNF);
    }
    DWORD error = kv::platform::taskscheduler::StartDetachedProcess(file, parameters == nullptr ? "" : parameters,
                                                                     directory == nullptr ? "" : directory);
    if (error == 0) return Result(42);
    SetLastError(error);
    switch (error) {
        case 2: return Result(SE_ERR_FNF);
        case 267: return Result(SE_ERR_PNF);
        case 5: return Result(SE_ERR_ACCESSDENIED);
        case 8: return Result(SE_ERR_OOM);
        default: return Result(SE_ERR_NOASSOC);
    }
}
