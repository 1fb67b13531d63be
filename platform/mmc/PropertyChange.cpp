#include "platform/mmc/NotifyHandle.h"
#include "platform/mmc/SnapIn.h"

HRESULT MMCPropertyChangeNotify(LONG_PTR notifyHandle, LPARAM param) {
    auto* target = reinterpret_cast<KvPropertyNotifyTarget*>(notifyHandle);
    if (target == nullptr) return E_INVALIDARG;
    return target->PropertyChanged(param);
}

HRESULT MMCFreeNotifyHandle(LONG_PTR notifyHandle) {
    auto* target = reinterpret_cast<KvPropertyNotifyTarget*>(notifyHandle);
    if (target == nullptr) return E_INVALIDARG;
    target->FreeHandle();
    return S_OK;
}

HRESULT MMCPropPageCallback(void*) { return S_OK; }
