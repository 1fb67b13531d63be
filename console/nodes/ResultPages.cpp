#include "console/nodes/ResultPages.h"

#include <cinttypes>
#include <cstdio>

#include "console/module/ModuleStartup.h"
#include "console/nodes/Node.h"
#include "console/snapin/ComponentData.h"
#include "platform/text/CodePage.h"

std::string ResourcePageAddress(const char* page, const void* node) {
    char address[32];
    std::snprintf(address, sizeof address, "%" PRIXPTR, reinterpret_cast<uintptr_t>(node));
    return "res://" + ConsoleModulePath() + "/" + page + "#" + address;
}

HRESULT PageViewType(const std::string& address, LPOLESTR* viewType, long* viewOptions) {
    if (viewType == nullptr) return E_POINTER;
    *viewType = AllocHostText(address);
    if (viewOptions != nullptr) *viewOptions = MMC_VIEW_OPTIONS_NOLISTVIEWS;
    return *viewType != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT InformationViewType(CComponentData* componentData, const char* page, const void* node, LPOLESTR* viewType,
                            long* viewOptions) {
    if (componentData != nullptr && componentData->UsesMessageView())
        return PageViewType(kv::platform::GuidText(CLSID_MessageView), viewType, viewOptions);
    return PageViewType(ResourcePageAddress(page, node), viewType, viewOptions);
}

HRESULT FillMessageView(IUnknown* control, const char* title, const char* body) {
    if (control == nullptr) return S_FALSE;
    IMessageView* view = nullptr;
    if (FAILED(control->QueryInterface(IID_IMessageView, reinterpret_cast<void**>(&view))) || view == nullptr)
        return S_FALSE;
    std::u16string wideTitle = kv::platform::Utf8ToUtf16(title);
    std::u16string wideBody = kv::platform::Utf8ToUtf16(body);
    view->SetTitleText(wideTitle.c_str());
    view->SetBodyText(wideBody.c_str());
    view->SetIcon(Icon_Information);
    view->Release();
    return S_OK;
}
