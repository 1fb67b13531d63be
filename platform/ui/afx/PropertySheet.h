// Property sheets: CPropertyPage (a dialog template shown as a tab) and
// CPropertySheet (the tabs with OK, Cancel and Apply), modal or modeless.
//
// The sheet creates a page the first time it becomes active. Switching tabs
// asks the page being left (OnKillActive; FALSE keeps it) and then tells the
// new one (OnSetActive). OK and Apply ask the active page (OnKillActive),
// then call OnApply on every page created so far in tab order; a page that
// answers FALSE keeps the sheet open. After OK the sheet closes; after Apply
// the active page gets OnSetActive again. Apply is enabled exactly while a
// page carries the modified mark (SetModified), and a successful apply clears
// every mark. Cancel and the close box call OnQueryCancel on the active page
// and, when it agrees, OnCancel (through OnReset) on every created page.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/afx/Dialog.h"

class CPropertySheet;

struct PROPSHEETPAGEA {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    LPCSTR pszTemplate;
    LPCSTR pszTitle;  // null: the template's caption
    LPARAM lParam;    // the CPropertyPage
};
typedef PROPSHEETPAGEA PROPSHEETPAGE;
#define PSP_DEFAULT 0x0u
#define PSP_USETITLE 0x8u

class KV_UI_API CPropertyPage : public CDialog {
public:
    explicit CPropertyPage(UINT templateId, UINT captionId = 0);
    CPropertyPage(HINSTANCE module, UINT templateId, UINT captionId = 0);
    ~CPropertyPage() override;

    // The modified mark; the sheet's Apply button follows it.
    void SetModified(BOOL changed = TRUE);
    BOOL IsModified() const { return m_modified; }
    // The sheet this page is in (null before it is added).
    CPropertySheet* GetSheet() const { return m_sheet; }
    std::string GetTitle() const;

    virtual BOOL OnSetActive();
    virtual BOOL OnKillActive();  // default: UpdateData(TRUE)
    virtual BOOL OnApply();       // default: OnOK(), TRUE
    virtual void OnReset();       // default: OnCancel()
    virtual BOOL OnQueryCancel();  // default: TRUE
    void OnOK() override;         // default: nothing (the sheet closes itself)
    void OnCancel() override;     // default: nothing

    PROPSHEETPAGE m_psp{};
    // The sheet deletes the page with itself (pages handed over as
    // HPROPSHEETPAGE, as snap-ins do).
    BOOL m_bAutoDelete = FALSE;

protected:
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class CPropertySheet;
    CPropertySheet* m_sheet = nullptr;
    std::string m_caption;
    bool m_modified = false;
    bool m_firstSetActive = true;
};

// A page as a handle; the sheet that receives it owns it when m_bAutoDelete.
KV_UI_API HPROPSHEETPAGE CreatePropertySheetPage(const PROPSHEETPAGE* page);
KV_UI_API BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page);
KV_UI_API CPropertyPage* PageFromHandle(HPROPSHEETPAGE page);

class KV_UI_API CPropertySheet : public CWnd {
public:
    explicit CPropertySheet(LPCSTR caption = nullptr, CWnd* parent = nullptr, UINT selectPage = 0);
    ~CPropertySheet() override;

    void AddPage(CPropertyPage* page);
    void AddPage(HPROPSHEETPAGE page);
    void RemovePage(int index);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int index) const;
    CPropertyPage* GetActivePage() const;
    int GetActiveIndex() const { return m_active; }
    BOOL SetActivePage(int index);
    BOOL SetActivePage(CPropertyPage* page);
    void SetTitle(LPCSTR title);
    std::string GetTitle() const { return m_caption; }

    // Modal: returns IDOK or IDCANCEL.
    virtual INT_PTR DoModal();
    // Modeless: the sheet stays up until OK, Cancel or the close box; then it
    // destroys itself and calls the closed handler.
    BOOL Create(CWnd* parent = nullptr);
    // Called (on the sheet's thread) when a modeless sheet's window is gone;
    // the host forgets the sheet here and may delete it.
    void SetClosedHandler(std::function<void(CPropertySheet*)> handler) { m_closed = std::move(handler); }
    // OK / Apply / Cancel as the buttons do (PSBTN_*).
    BOOL PressButton(int button);
    BOOL IsApplyEnabled() const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;

private:
    friend class CPropertyPage;
    BOOL Build(HWND owner, bool modal);
    bool Apply(bool closing);
    bool Cancel();
    void Finish(INT_PTR result);
    bool ShowPage(int index);
    void PageChanged(CPropertyPage* page, bool modified);
    void UpdateApplyButton();

    std::string m_caption;
    CWnd* m_pParentWnd = nullptr;
    std::vector<CPropertyPage*> m_pages;
    int m_active = -1;
    int m_initialPage = 0;
    bool m_modal = false;
    bool m_ended = false;
    INT_PTR m_result = IDCANCEL;
    std::function<void(CPropertySheet*)> m_closed;
};
