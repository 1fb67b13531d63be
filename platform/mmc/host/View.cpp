#include "platform/mmc/host/View.h"

#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/host/ResultPane.h"

namespace kv::mmc {

View::View(ConsoleHost& host, int viewId)
    : id(viewId),
      console(std::make_unique<ViewConsole>(host, this)),
      verbs(std::make_unique<ConsoleVerbs>(host)),
      resultImages(std::make_unique<ImageListObject>(host)),
      messageView(std::make_unique<MessageViewObject>(host)),
      m_host(host) {
    verbs->Reset();
    pane = CreateResultPane(host.MainWindow(), *this);
}

View::~View() {
    DestroyResultPane(pane);
    ReleaseShown();
    if (component) component->Release();
}

void View::ReleaseShown() {
    if (shownDataObject) shownDataObject->Release();
    shownDataObject = nullptr;
    if (selectionObject) selectionObject->Release();
    selectionObject = nullptr;
    if (menuDataObject) menuDataObject->Release();
    menuDataObject = nullptr;
    if (menuTarget) menuTarget->Release();
    menuTarget = nullptr;
    selectionCount = 0;
    lastSelection.clear();
}

HRESULT View::SelectionDataObject(LPDATAOBJECT* dataObject, bool* scopeItem, HSCOPEITEM* scopeHandle) {
    if (dataObject == nullptr) return E_POINTER;
    *dataObject = selectionObject;
    if (selectionObject == nullptr) return S_FALSE;
    selectionObject->AddRef();
    if (scopeItem) *scopeItem = selectionIsScopeItem;
    if (scopeHandle) *scopeHandle = selectionScopeItem;
    return S_OK;
}

}  // namespace kv::mmc
