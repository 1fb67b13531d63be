#include "platform/com/ComInit.h"

namespace {
thread_local int t_count = 0;
thread_local DWORD t_model = 0;
}  // namespace

HRESULT CoInitializeEx(LPVOID, DWORD coInit) {
    DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (t_count > 0) {
        if (model != t_model) return RPC_E_CHANGED_MODE;
        ++t_count;
        return S_FALSE;
    }
    t_model = model;
    t_count = 1;
    return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
    if (t_count > 0) --t_count;
}

namespace kv::platform {
bool ComInitialized() { return t_count > 0; }
}  // namespace kv::platform
