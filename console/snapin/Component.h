// One view of the console (one result pane): what it shows and the console
// interfaces of that view.
#pragma once

#include <string>
#include <vector>

#include "console/snapin/ComObject.h"
#include "platform/mmc/SnapIn.h"

class CComponentData;
class CNode;

class CComponent : public IComponent, public IExtendContextMenu, public IExtendPropertySheet2 {
public:
    explicit CComponent(CComponentData* componentData = nullptr);
    ~CComponent() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    ORV_COM_REFCOUNT();

    // IComponent
    STDMETHODIMP Initialize(LPCONSOLE console) override;
    STDMETHODIMP Notify(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) override;
    STDMETHODIMP Destroy(MMC_COOKIE cookie) override;
    STDMETHODIMP QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* dataObject) override;
    STDMETHODIMP GetResultViewType(MMC_COOKIE cookie, LPOLESTR* viewType, long* viewOptions) override;
    STDMETHODIMP GetDisplayInfo(RESULTDATAITEM* item) override;
    STDMETHODIMP CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) override;

    // IExtendContextMenu
    STDMETHODIMP AddMenuItems(LPDATAOBJECT dataObject, LPCONTEXTMENUCALLBACK callback, long* insertionAllowed) override;
    STDMETHODIMP Command(long commandId, LPDATAOBJECT dataObject) override;

    // IExtendPropertySheet2
    STDMETHODIMP CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle, LPDATAOBJECT dataObject) override;
    STDMETHODIMP QueryPagesFor(LPDATAOBJECT dataObject) override;
    STDMETHODIMP GetWatermarks(LPDATAOBJECT, HBITMAP*, HBITMAP*, HPALETTE*, BOOL*) override { return S_FALSE; }

    // Shows the node's content again if this view shows it.
    void RefreshIfShowing(CNode* node);

    CComponentData* m_pComponentData;
    IConsole2* m_pConsole = nullptr;
    IResultData* m_pResultData = nullptr;
    IHeaderCtrl* m_pHeader = nullptr;
    IConsoleVerb* m_pVerbs = nullptr;
    CNode* m_pShownNode = nullptr;

private:
    void ReleaseInterfaces();
    // The result pane's multi-selection rather than one node.
    bool IsMultiSelection(LPDATAOBJECT dataObject, CNode* node) const;
    std::u16string m_displayText;
};

// The views open in this process, for changes that every view must show.
std::vector<CComponent*>& OpenComponents();
// Shows the content of every open view again, as it reads now (after the
// excluded-extension list changed, every list hides and shows by the new one).
void RefreshOpenViews();
