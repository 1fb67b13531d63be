// Property sheets of the console: modeless, as the console's are, one per
// object at most. The console keeps the open ones so that a snap-in can find
// a sheet (FindPropertySheet) and bring it to the front, and passes a page's
// MMCPropertyChangeNotify back to the object that made the page.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"
#include "platform/mmc/host/HostUnknown.h"

class CPropertySheet;

namespace kv::mmc {

class ConsoleHost;
class PropertyNotify;

class PropertySheets {
public:
    explicit PropertySheets(ConsoleHost& host);
    ~PropertySheets();

    // Brings the open sheet of the cookie to the front; false when none is open.
    bool BringToFront(MMC_COOKIE cookie);
    bool IsOpen(MMC_COOKIE cookie) const;
    size_t OpenCount() const { return m_open.size(); }

    // The steps of IPropertySheetProvider: begin a sheet, let an object add
    // its pages, show it.
    HRESULT Begin(const std::u16string& title, MMC_COOKIE cookie, LPDATAOBJECT dataObject);
    HRESULT AddPages(IUnknown* owner, bool scopePane);
    HRESULT Show(int startPage);
    void Abandon();

    // Closes every sheet (the console is going away).
    void CloseAll();

private:
    struct OpenSheet {
        MMC_COOKIE cookie = 0;
        CPropertySheet* sheet = nullptr;
        PropertyNotify* notify = nullptr;
    };
    struct Pending {
        bool active = false;
        std::u16string title;
        MMC_COOKIE cookie = 0;
        LPDATAOBJECT dataObject = nullptr;
        std::vector<HPROPSHEETPAGE> pages;
        PropertyNotify* notify = nullptr;
    };
    void Closed(CPropertySheet* sheet);

    ConsoleHost& m_host;
    std::list<OpenSheet> m_open;
    Pending m_pending;
};

// IPropertySheetProvider over the host's sheets.
class SheetProvider : public IPropertySheetProvider {
public:
    explicit SheetProvider(ConsoleHost& host) : m_host(host) {}
    KV_HOST_UNKNOWN
    STDMETHODIMP CreatePropertySheet(LPCWSTR title, boolean type, MMC_COOKIE cookie, LPDATAOBJECT dataObject, DWORD options) override;
    STDMETHODIMP FindPropertySheet(MMC_COOKIE cookie, LPCOMPONENT component, LPDATAOBJECT dataObject) override;
    STDMETHODIMP AddPrimaryPages(LPUNKNOWN unknown, BOOL createHandle, HWND notifyWindow, BOOL scopePane) override;
    STDMETHODIMP AddExtensionPages() override;
    STDMETHODIMP Show(LONG_PTR window, int page) override;

private:
    void* FindInterface(REFIID riid);
    ConsoleHost& m_host;
};

// A class factory handing out the provider (CLSID_NodeManager).
IClassFactory* CreateSheetProviderFactory(SheetProvider* provider);

}  // namespace kv::mmc
