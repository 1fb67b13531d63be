#include "console/snapin/SnapinAbout.h"

#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "console/nodes/Node.h"
#include "strings/CodeMap.h"

STDMETHODIMP CSnapinAbout::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISnapinAbout) return ReturnInterface<ISnapinAbout>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CSnapinAbout::GetSnapinDescription(LPOLESTR* description) {
    if (description == nullptr) return E_POINTER;
    std::string text;
    LoadResourceString(30, text);
    *description = AllocHostText(text);
    return *description != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CSnapinAbout::GetProvider(LPOLESTR* name) {
    if (name == nullptr) return E_POINTER;
    *name = AllocHostText(ProductText(PSC_PROVIDER));
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CSnapinAbout::GetSnapinVersion(LPOLESTR* version) {
    if (version == nullptr) return E_POINTER;
    *version = AllocHostText(ProductText(PSC_VERSION));
    return *version != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CSnapinAbout::GetSnapinImage(HICON* appIcon) {
    if (appIcon == nullptr) return E_POINTER;
    *appIcon = KvNamedIcon(kNodeImageNames[IMAGE_ROOT]);
    return S_OK;
}

STDMETHODIMP CSnapinAbout::GetStaticFolderImage(HBITMAP* smallImage, HBITMAP* smallImageOpen, HBITMAP* largeImage,
                                                 COLORREF* mask) {
    const char* const root[] = {kNodeImageNames[IMAGE_ROOT]};
    HBITMAP strip = KvNamedStrip(root, 1);
    if (smallImage != nullptr) *smallImage = strip;
    if (smallImageOpen != nullptr) *smallImageOpen = strip;
    if (largeImage != nullptr) *largeImage = strip;
    if (mask != nullptr) *mask = RGB(255, 0, 255);
    return S_OK;
}
