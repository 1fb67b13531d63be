// The console interfaces a snap-in is handed: IConsole3 with IResultData,
// IHeaderCtrl and IColumnData (one per view, and one without a view for the
// component data), IConsoleNameSpace2, IImageList, IConsoleVerb and the
// message view control.
#pragma once

#include <map>
#include <string>

#include "platform/mmc/SnapIn.h"
#include "platform/mmc/host/HostUnknown.h"

namespace kv::mmc {

class ConsoleHost;
class View;

class ImageListObject : public IImageList {
public:
    explicit ImageListObject(ConsoleHost& host) : m_host(host) {}
    KV_HOST_UNKNOWN
    STDMETHODIMP ImageListSetIcon(LONG_PTR* icon, long index) override;
    STDMETHODIMP ImageListSetStrip(LONG_PTR* smallStrip, LONG_PTR* largeStrip, long start, COLORREF mask) override;
    // The image's name; empty when none was set.
    std::string Name(int index) const;
    void Clear() { m_names.clear(); }

private:
    void* FindInterface(REFIID riid);
    ConsoleHost& m_host;
    std::map<long, std::string> m_names;
};

class ConsoleVerbs : public IConsoleVerb {
public:
    explicit ConsoleVerbs(ConsoleHost& host) : m_host(host) {}
    KV_HOST_UNKNOWN
    STDMETHODIMP GetVerbState(MMC_CONSOLE_VERB verb, MMC_BUTTON_STATE state, BOOL* value) override;
    STDMETHODIMP SetVerbState(MMC_CONSOLE_VERB verb, MMC_BUTTON_STATE state, BOOL value) override;
    STDMETHODIMP SetDefaultVerb(MMC_CONSOLE_VERB verb) override;
    STDMETHODIMP GetDefaultVerb(MMC_CONSOLE_VERB* verb) override;
    // Every verb hidden and disabled, as before each selection.
    void Reset();
    bool Visible(MMC_CONSOLE_VERB verb) const;
    bool Enabled(MMC_CONSOLE_VERB verb) const;

private:
    void* FindInterface(REFIID riid);
    ConsoleHost& m_host;
    std::map<int, UINT> m_states;
    MMC_CONSOLE_VERB m_default = MMC_VERB_NONE;
};

class MessageViewObject : public IMessageView {
public:
    explicit MessageViewObject(ConsoleHost& host) : m_host(host) {}
    KV_HOST_UNKNOWN
    STDMETHODIMP SetTitleText(LPCOLESTR title) override;
    STDMETHODIMP SetBodyText(LPCOLESTR body) override;
    STDMETHODIMP SetIcon(IconIdentifier id) override;
    STDMETHODIMP Clear() override;

    std::u16string title, body;
    IconIdentifier icon = Icon_None;

private:
    void* FindInterface(REFIID riid);
    ConsoleHost& m_host;
};

class NameSpace : public IConsoleNameSpace2 {
public:
    explicit NameSpace(ConsoleHost& host) : m_host(host) {}
    KV_HOST_UNKNOWN
    STDMETHODIMP InsertItem(LPSCOPEDATAITEM item) override;
    STDMETHODIMP DeleteItem(HSCOPEITEM item, long deleteThis) override;
    STDMETHODIMP SetItem(LPSCOPEDATAITEM item) override;
    STDMETHODIMP GetItem(LPSCOPEDATAITEM item) override;
    STDMETHODIMP GetChildItem(HSCOPEITEM item, HSCOPEITEM* child, MMC_COOKIE* cookie) override;
    STDMETHODIMP GetNextItem(HSCOPEITEM item, HSCOPEITEM* next, MMC_COOKIE* cookie) override;
    STDMETHODIMP GetParentItem(HSCOPEITEM item, HSCOPEITEM* parent, MMC_COOKIE* cookie) override;
    STDMETHODIMP Expand(HSCOPEITEM item) override;
    STDMETHODIMP AddExtension(HSCOPEITEM item, LPCLSID extension) override;

private:
    void* FindInterface(REFIID riid);
    ConsoleHost& m_host;
};

// The console of one view (view != null) or of the component data.
class ViewConsole : public IConsole3, public IResultData, public IHeaderCtrl, public IColumnData {
public:
    ViewConsole(ConsoleHost& host, View* view) : m_host(host), m_view(view) {}
    KV_HOST_UNKNOWN

    // IConsole
    STDMETHODIMP SetHeader(LPHEADERCTRL header) override;
    STDMETHODIMP SetToolbar(LPTOOLBAR toolbar) override;
    STDMETHODIMP QueryResultView(LPUNKNOWN* unknown) override;
    STDMETHODIMP QueryScopeImageList(LPIMAGELIST* imageList) override;
    STDMETHODIMP QueryResultImageList(LPIMAGELIST* imageList) override;
    STDMETHODIMP UpdateAllViews(LPDATAOBJECT dataObject, LPARAM data, LONG_PTR hint) override;
    STDMETHODIMP MessageBox(LPCWSTR text, LPCWSTR title, UINT style, int* result) override;
    STDMETHODIMP QueryConsoleVerb(LPCONSOLEVERB* verb) override;
    STDMETHODIMP SelectScopeItem(HSCOPEITEM item) override;
    STDMETHODIMP GetMainWindow(HWND* window) override;
    STDMETHODIMP NewWindow(HSCOPEITEM item, DWORD options) override;
    // IConsole2, IConsole3
    STDMETHODIMP Expand(HSCOPEITEM item, BOOL expand) override;
    STDMETHODIMP IsTaskpadViewPreferred() override;
    STDMETHODIMP SetStatusText(LPOLESTR text) override;
    STDMETHODIMP RenameScopeItem(HSCOPEITEM item) override;
    // IResultData
    STDMETHODIMP InsertItem(LPRESULTDATAITEM item) override;
    STDMETHODIMP DeleteItem(HRESULTITEM item, int column) override;
    STDMETHODIMP FindItemByLParam(LPARAM lParam, HRESULTITEM* item) override;
    STDMETHODIMP DeleteAllRsltItems() override;
    STDMETHODIMP SetItem(LPRESULTDATAITEM item) override;
    STDMETHODIMP GetItem(LPRESULTDATAITEM item) override;
    STDMETHODIMP GetNextItem(LPRESULTDATAITEM item) override;
    STDMETHODIMP ModifyItemState(int index, HRESULTITEM item, UINT add, UINT remove) override;
    STDMETHODIMP ModifyViewStyle(MMC_RESULT_VIEW_STYLE add, MMC_RESULT_VIEW_STYLE remove) override;
    STDMETHODIMP SetViewMode(long mode) override;
    STDMETHODIMP GetViewMode(long* mode) override;
    STDMETHODIMP UpdateItem(HRESULTITEM item) override;
    STDMETHODIMP Sort(int column, DWORD options, LPARAM userParam) override;
    STDMETHODIMP SetDescBarText(LPOLESTR text) override;
    STDMETHODIMP SetItemCount(int count, DWORD options) override;
    // IHeaderCtrl
    STDMETHODIMP InsertColumn(int column, LPCWSTR title, int format, int width) override;
    STDMETHODIMP DeleteColumn(int column) override;
    STDMETHODIMP SetColumnText(int column, LPCWSTR title) override;
    STDMETHODIMP GetColumnText(int column, LPOLESTR* title) override;
    STDMETHODIMP SetColumnWidth(int column, int width) override;
    STDMETHODIMP GetColumnWidth(int column, int* width) override;
    // IColumnData
    STDMETHODIMP SetColumnConfigData(void* columnSetId, void* columnData) override;
    STDMETHODIMP GetColumnConfigData(void* columnSetId, void** columnData) override;
    STDMETHODIMP SetColumnSortData(void* columnSetId, void* sortData) override;
    STDMETHODIMP GetColumnSortData(void* columnSetId, void** sortData) override;

private:
    void* FindInterface(REFIID riid);
    ConsoleHost& m_host;
    View* m_view;
    long m_viewMode = MMCLV_VIEWSTYLE_REPORT;
};

}  // namespace kv::mmc
