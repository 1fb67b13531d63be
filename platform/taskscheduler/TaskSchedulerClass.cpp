#include "platform/taskscheduler/TaskSchedulerClass.h"

namespace {

class TaskSchedulerFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // A process-lifetime object: counting references would only let the
    // last Release destroy a static.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        if (!(riid == IID_ITaskScheduler)) return E_NOINTERFACE;
        ITaskScheduler* scheduler = nullptr;
        HRESULT hr = CreateTaskScheduler(&scheduler);
        if (FAILED(hr)) return hr;
        *object = scheduler;
        return S_OK;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace

IClassFactory* TaskSchedulerClassObject() {
    static TaskSchedulerFactory factory;
    return &factory;
}
