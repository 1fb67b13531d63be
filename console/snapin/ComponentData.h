// The snap-in instance: owns the database connection and lists, the root of
// the node tree and the console interfaces the host hands over.
#pragma once

#include <string>

#include "console/data/ConsoleData.h"
#include "console/snapin/ComObject.h"
#include "platform/mmc/SnapIn.h"

class CNode;
class CRootNode;

class CComponentData : public IComponentData, public IExtendContextMenu, public IExtendPropertySheet2 {
public:
    CComponentData();
    ~CComponentData() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    ORV_COM_REFCOUNT();

    // IComponentData
    STDMETHODIMP Initialize(LPUNKNOWN console) override;
    STDMETHODIMP CreateComponent(LPCOMPONENT* component) override;
    STDMETHODIMP Notify(LPDATAOBJECT dataObject, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) override;
    STDMETHODIMP Destroy() override;
    STDMETHODIMP QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type, LPDATAOBJECT* dataObject) override;
    STDMETHODIMP GetDisplayInfo(SCOPEDATAITEM* item) override;
    STDMETHODIMP CompareObjects(LPDATAOBJECT a, LPDATAOBJECT b) override;

    // IExtendContextMenu
    STDMETHODIMP AddMenuItems(LPDATAOBJECT dataObject, LPCONTEXTMENUCALLBACK callback, long* insertionAllowed) override;
    STDMETHODIMP Command(long commandId, LPDATAOBJECT dataObject) override;

    // IExtendPropertySheet2
    STDMETHODIMP CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle, LPDATAOBJECT dataObject) override;
    STDMETHODIMP QueryPagesFor(LPDATAOBJECT dataObject) override;
    STDMETHODIMP GetWatermarks(LPDATAOBJECT, HBITMAP*, HBITMAP*, HPALETTE*, BOOL*) override { return S_FALSE; }

    // A message box of the console over its main window; the button pressed.
    int ConsoleMessageBox(UINT textId, UINT captionId, UINT style);
    int ConsoleMessageBoxText(const std::string& text, UINT captionId, UINT style);
    // Whether the console offers the message view (version 1.2 and later).
    bool UsesMessageView();
    // Tells every open view that a node's display changed.
    void UpdateAllViews(CNode* node);
    // The node a data object (or a cookie of 0, the root) stands for.
    CNode* NodeOf(LPDATAOBJECT dataObject);

    CConsoleData m_data;
    IConsole2* m_pConsole = nullptr;
    IConsole3* m_pConsole3 = nullptr;
    IConsoleNameSpace2* m_pNameSpace = nullptr;
    long m_mmcMajor = 1;
    long m_mmcMinor = 0;
    CRootNode* m_pRoot = nullptr;

private:
    void DetectConsoleVersion();
    void BuildSystemImageList();

    std::u16string m_displayText;
};
