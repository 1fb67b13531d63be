#include "platform/ui/afx/PropertySheet.h"

#include <algorithm>

#include "platform/ui/afx/ClassLayer.h"
#include "platform/ui/window/Dialogs.h"

using namespace kv::ui::detail;

namespace {

constexpr int kMargin = 8;
constexpr int kTabsHeight = 28;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 8;

HINSTANCE ModuleOf(const CPropertyPage* page, HINSTANCE module) {
    if (module != nullptr) return module;
    if (page->m_psp.hInstance != nullptr) return page->m_psp.hInstance;
    return AfxGetResourceHandle();
}

}  // namespace

// ---- Pages ------------------------------------------------------------------

CPropertyPage::CPropertyPage(UINT templateId, UINT captionId) : CPropertyPage(nullptr, templateId, captionId) {}

CPropertyPage::CPropertyPage(HINSTANCE module, UINT templateId, UINT captionId) : CDialog(module, templateId) {
    m_psp.dwSize = sizeof m_psp;
    m_psp.dwFlags = PSP_DEFAULT;
    m_psp.hInstance = module;
    m_psp.pszTemplate = MAKEINTRESOURCE(templateId);
    m_psp.lParam = reinterpret_cast<LPARAM>(this);
    if (captionId != 0) {
        m_caption = LoadModuleString(ModuleOf(this, module), captionId);
        m_psp.dwFlags |= PSP_USETITLE;
        m_psp.pszTitle = m_caption.c_str();
    }
}

CPropertyPage::~CPropertyPage() {
    if (m_sheet != nullptr) {
        auto& pages = m_sheet->m_pages;
        pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
    }
}

std::string CPropertyPage::GetTitle() const {
    if ((m_psp.dwFlags & PSP_USETITLE) != 0 && m_psp.pszTitle != nullptr) {
        if (IS_INTRESOURCE(m_psp.pszTitle))
            return LoadModuleString(ModuleOf(this, m_module), static_cast<UINT>(reinterpret_cast<uintptr_t>(m_psp.pszTitle)));
        return m_psp.pszTitle;
    }
    const KvDialogTemplate* dialogTemplate = FindDialogTemplate(ModuleOf(this, m_module), MAKEINTRESOURCE(m_templateId));
    return dialogTemplate != nullptr && dialogTemplate->caption != nullptr ? dialogTemplate->caption : "";
}

void CPropertyPage::SetModified(BOOL changed) {
    if (m_hWnd == nullptr || m_sheet == nullptr || m_sheet->m_hWnd == nullptr) {
        m_modified = changed != FALSE;
        return;
    }
    ::SendMessage(m_sheet->m_hWnd, changed ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

BOOL CPropertyPage::OnSetActive() {
    if (m_firstSetActive) {
        m_firstSetActive = false;
    } else {
        UpdateData(FALSE);
    }
    return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }

BOOL CPropertyPage::OnApply() {
    OnOK();
    return TRUE;
}

void CPropertyPage::OnReset() { OnCancel(); }
BOOL CPropertyPage::OnQueryCancel() { return TRUE; }
void CPropertyPage::OnOK() {}
void CPropertyPage::OnCancel() {}

BOOL CPropertyPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    bool fromSheet = header != nullptr && m_sheet != nullptr && header->hwndFrom == m_sheet->m_hWnd;
    if (fromSheet) {
        switch (header->code) {
            case PSN_SETACTIVE:
                *result = OnSetActive() ? 0 : -1;
                return TRUE;
            case PSN_KILLACTIVE:
                *result = OnKillActive() ? FALSE : TRUE;
                return TRUE;
            case PSN_APPLY:
                *result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
                return TRUE;
            case PSN_RESET:
                OnReset();
                return TRUE;
            case PSN_QUERYCANCEL:
                *result = OnQueryCancel() ? FALSE : TRUE;
                return TRUE;
            default:
                break;
        }
    }
    return CDialog::OnNotify(wParam, lParam, result);
}

LRESULT CPropertyPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CDialog::WindowProc(message, wParam, lParam);
}

HPROPSHEETPAGE CreatePropertySheetPage(const PROPSHEETPAGE* page) {
    if (page == nullptr || page->lParam == 0) return nullptr;
    return reinterpret_cast<HPROPSHEETPAGE>(page->lParam);
}

CPropertyPage* PageFromHandle(HPROPSHEETPAGE page) { return reinterpret_cast<CPropertyPage*>(page); }

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE handle) {
    CPropertyPage* page = PageFromHandle(handle);
    if (page == nullptr || page->GetSheet() != nullptr) return FALSE;
    if (page->m_bAutoDelete) delete page;
    return TRUE;
}

// ---- Sheets -----------------------------------------------------------------

CPropertySheet::CPropertySheet(LPCSTR caption, CWnd* parent, UINT selectPage)
    : m_caption(caption != nullptr ? caption : ""), m_pParentWnd(parent), m_initialPage(static_cast<int>(selectPage)) {}

CPropertySheet::~CPropertySheet() {
    m_closed = nullptr;
    if (m_hWnd != nullptr) {
        HWND handle = m_hWnd;
        OnOwnerThread(handle, [this, handle]() -> LRESULT {
            Window* window = OwnWindow(handle);
            if (window->cwnd == this) {
                window->cwnd = nullptr;
                window->proc = m_pfnSuper != nullptr ? m_pfnSuper : ::DefWindowProc;
            }
            return 0;
        });
        m_hWnd = nullptr;
        ::DestroyWindow(handle);
    }
    std::vector<CPropertyPage*> pages;
    pages.swap(m_pages);
    for (CPropertyPage* page : pages) {
        page->m_sheet = nullptr;
        if (page->m_bAutoDelete) delete page;
    }
}

void CPropertySheet::AddPage(CPropertyPage* page) {
    if (page == nullptr || std::find(m_pages.begin(), m_pages.end(), page) != m_pages.end()) return;
    page->m_sheet = this;
    m_pages.push_back(page);
    if (m_hWnd != nullptr) {
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
        if (m_active < 0) ShowPage(0);
    }
}

void CPropertySheet::AddPage(HPROPSHEETPAGE page) { AddPage(PageFromHandle(page)); }

void CPropertySheet::RemovePage(int index) {
    if (index < 0 || index >= GetPageCount()) return;
    CPropertyPage* page = m_pages[static_cast<size_t>(index)];
    if (index == m_active) {
        m_active = -1;
        if (GetPageCount() > 1) ShowPage(index == 0 ? 1 : index - 1);
    }
    if (page->m_hWnd != nullptr) ::DestroyWindow(page->m_hWnd);
    m_pages.erase(m_pages.begin() + index);
    if (m_active > index) --m_active;
    page->m_sheet = nullptr;
    if (m_hWnd != nullptr) ::InvalidateRect(m_hWnd, nullptr, TRUE);
    if (page->m_bAutoDelete) delete page;
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<size_t>(index)] : nullptr;
}

CPropertyPage* CPropertySheet::GetActivePage() const { return GetPage(m_active >= 0 ? m_active : m_initialPage); }

BOOL CPropertySheet::SetActivePage(int index) {
    if (index < 0 || index >= GetPageCount()) return FALSE;
    if (m_hWnd == nullptr) {
        m_initialPage = index;
        return TRUE;
    }
    return ShowPage(index);
}

BOOL CPropertySheet::SetActivePage(CPropertyPage* page) {
    auto it = std::find(m_pages.begin(), m_pages.end(), page);
    return it != m_pages.end() && SetActivePage(static_cast<int>(it - m_pages.begin()));
}

void CPropertySheet::SetTitle(LPCSTR title) {
    m_caption = title != nullptr ? title : "";
    if (m_hWnd != nullptr) ::SetWindowText(m_hWnd, m_caption.c_str());
}

BOOL CPropertySheet::Build(HWND owner, bool modal) {
    if (m_hWnd != nullptr || m_pages.empty()) return FALSE;
    int pageWidth = 0, pageHeight = 0;
    for (CPropertyPage* page : m_pages) {
        const KvDialogTemplate* dialogTemplate =
            FindDialogTemplate(ModuleOf(page, page->m_module), MAKEINTRESOURCE(page->m_templateId));
        if (dialogTemplate == nullptr) continue;
        RECT size = DialogUnitsToPixels(0, 0, dialogTemplate->cx, dialogTemplate->cy);
        pageWidth = std::max<int>(pageWidth, size.right);
        pageHeight = std::max<int>(pageHeight, size.bottom);
        page->m_firstSetActive = true;
        page->m_modified = false;
    }
    int width = std::max(pageWidth + 2 * kMargin, 3 * kButtonWidth + 2 * kButtonGap + 2 * kMargin);
    int height = kTabsHeight + pageHeight + 2 * kMargin + kButtonHeight + kMargin;
    m_modal = modal;
    m_ended = false;
    m_result = IDCANCEL;
    m_active = -1;
    HWND sheet = CreateEmptyDialog(m_caption.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                   RECT{0, 0, width, height}, owner, kv::ui::WindowKind::PropertySheet, nullptr,
                                   [this](Window* window) { ClassLayer::Hook(this, window); });
    if (sheet == nullptr) return FALSE;
    struct SheetButton {
        int id;
        const char* label;
        DWORD style;
    };
    const SheetButton buttons[] = {
        {IDOK, "OK", BS_DEFPUSHBUTTON},
        {IDCANCEL, "Cancel", BS_PUSHBUTTON},
        {ID_APPLY_NOW, "&Apply", BS_PUSHBUTTON | WS_DISABLED},
    };
    int x = width - kMargin - 3 * kButtonWidth - 2 * kButtonGap;
    int y = height - kMargin - kButtonHeight;
    for (const SheetButton& button : buttons) {
        ::CreateWindowEx(0, WC_BUTTON, button.label, WS_CHILD | WS_VISIBLE | WS_TABSTOP | button.style, x, y,
                         kButtonWidth, kButtonHeight, sheet, static_cast<UINT_PTR>(button.id), nullptr, nullptr);
        x += kButtonWidth + kButtonGap;
    }
    ::SendMessage(sheet, DM_SETDEFID, IDOK, 0);
    int first = std::clamp(m_initialPage, 0, GetPageCount() - 1);
    if (!ShowPage(first) && !IsWindow(sheet)) return FALSE;
    return TRUE;
}

INT_PTR CPropertySheet::DoModal() {
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : ::GetActiveWindow();
    if (!Build(owner, true)) return -1;
    HWND sheet = m_hWnd;
    INT_PTR result = RunModalLoop(sheet);
    return m_ended ? m_result : result;
}

BOOL CPropertySheet::Create(CWnd* parent) {
    if (parent != nullptr) m_pParentWnd = parent;
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    if (!Build(owner, false)) return FALSE;
    ::ShowWindow(m_hWnd, SW_SHOW);
    if (CPropertyPage* page = GetActivePage(); page != nullptr && page->m_hWnd != nullptr) {
        if (HWND first = ::GetNextDlgTabItem(page->m_hWnd, nullptr, FALSE)) ::SetFocus(first);
    }
    return TRUE;
}

bool CPropertySheet::ShowPage(int index) {
    if (m_hWnd == nullptr || index < 0 || index >= GetPageCount()) return false;
    if (index == m_active) return true;
    HWND sheet = m_hWnd;
    if (CPropertyPage* current = GetPage(m_active); current != nullptr && current->m_hWnd != nullptr) {
        PSHNOTIFY note{};
        note.hdr = NMHDR{sheet, 0, PSN_KILLACTIVE};
        if (::SendMessage(current->m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note)) != 0) return false;
    }
    CPropertyPage* page = m_pages[static_cast<size_t>(index)];
    if (page->m_hWnd == nullptr) {
        HINSTANCE module = ModuleOf(page, page->m_module);
        const KvDialogTemplate* dialogTemplate = FindDialogTemplate(module, MAKEINTRESOURCE(page->m_templateId));
        HWND window = CreateDialogFromTemplate(dialogTemplate, module, sheet, nullptr, 0,
                                               [page](Window* w) { ClassLayer::Hook(page, w); }, true);
        if (window == nullptr) return false;
        ::MoveWindow(window, kMargin, kTabsHeight + kMargin, 0, 0, FALSE);
        RECT size{};
        if (dialogTemplate != nullptr) size = DialogUnitsToPixels(0, 0, dialogTemplate->cx, dialogTemplate->cy);
        ::MoveWindow(window, kMargin, kTabsHeight + kMargin, size.right, size.bottom, FALSE);
    }
    if (CPropertyPage* current = GetPage(m_active); current != nullptr && current->m_hWnd != nullptr)
        ::ShowWindow(current->m_hWnd, SW_HIDE);
    m_active = index;
    ::ShowWindow(page->m_hWnd, SW_SHOW);
    ::InvalidateRect(sheet, nullptr, TRUE);
    PSHNOTIFY note{};
    note.hdr = NMHDR{sheet, 0, PSN_SETACTIVE};
    ::SendMessage(page->m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note));
    return true;
}

bool CPropertySheet::Apply(bool closing) {
    HWND sheet = m_hWnd;
    if (CPropertyPage* current = GetPage(m_active); current != nullptr && current->m_hWnd != nullptr) {
        PSHNOTIFY note{};
        note.hdr = NMHDR{sheet, 0, PSN_KILLACTIVE};
        if (::SendMessage(current->m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note)) != 0) return false;
    }
    std::vector<CPropertyPage*> pages = m_pages;
    for (size_t i = 0; i < pages.size(); ++i) {
        CPropertyPage* page = pages[i];
        if (page->m_hWnd == nullptr) continue;
        PSHNOTIFY note{};
        note.hdr = NMHDR{sheet, 0, PSN_APPLY};
        note.lParam = closing ? TRUE : FALSE;
        LRESULT answer = ::SendMessage(page->m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note));
        if (answer == PSNRET_INVALID) {
            ShowPage(static_cast<int>(i));
            return false;
        }
        if (answer == PSNRET_INVALID_NOCHANGEPAGE) return false;
    }
    for (CPropertyPage* page : m_pages) page->m_modified = false;
    UpdateApplyButton();
    if (!closing) {
        if (CPropertyPage* current = GetPage(m_active); current != nullptr && current->m_hWnd != nullptr) {
            PSHNOTIFY note{};
            note.hdr = NMHDR{sheet, 0, PSN_SETACTIVE};
            ::SendMessage(current->m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note));
        }
    }
    return true;
}

bool CPropertySheet::Cancel() {
    HWND sheet = m_hWnd;
    if (CPropertyPage* current = GetPage(m_active); current != nullptr && current->m_hWnd != nullptr) {
        PSHNOTIFY note{};
        note.hdr = NMHDR{sheet, 0, PSN_QUERYCANCEL};
        if (::SendMessage(current->m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note)) != 0) return false;
    }
    std::vector<CPropertyPage*> pages = m_pages;
    for (CPropertyPage* page : pages) {
        if (page->m_hWnd == nullptr) continue;
        PSHNOTIFY note{};
        note.hdr = NMHDR{sheet, 0, PSN_RESET};
        ::SendMessage(page->m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&note));
    }
    return true;
}

void CPropertySheet::Finish(INT_PTR result) {
    m_result = result;
    m_ended = true;
    if (m_modal) {
        ::EndDialog(m_hWnd, result);
    } else {
        ::DestroyWindow(m_hWnd);
    }
}

void CPropertySheet::PageChanged(CPropertyPage* page, bool modified) {
    if (page == nullptr) return;
    page->m_modified = modified;
    UpdateApplyButton();
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CPropertySheet::UpdateApplyButton() {
    bool any = std::any_of(m_pages.begin(), m_pages.end(), [](CPropertyPage* page) { return page->m_modified; });
    if (HWND apply = ::GetDlgItem(m_hWnd, ID_APPLY_NOW)) ::EnableWindow(apply, any ? TRUE : FALSE);
}

BOOL CPropertySheet::IsApplyEnabled() const {
    HWND apply = ::GetDlgItem(m_hWnd, ID_APPLY_NOW);
    return apply != nullptr && ::IsWindowEnabled(apply);
}

BOOL CPropertySheet::PressButton(int button) {
    int id = button == PSBTN_OK ? IDOK : button == PSBTN_APPLYNOW ? ID_APPLY_NOW : button == PSBTN_CANCEL ? IDCANCEL : 0;
    if (id == 0 || m_hWnd == nullptr) return FALSE;
    HWND control = ::GetDlgItem(m_hWnd, id);
    if (control != nullptr && !::IsWindowEnabled(control)) return FALSE;
    ::SendMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    return TRUE;
}

LRESULT CPropertySheet::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    auto pageOf = [this](HWND window) -> CPropertyPage* {
        for (CPropertyPage* page : m_pages)
            if (page->m_hWnd == window) return page;
        return nullptr;
    };
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                switch (LOWORD(wParam)) {
                    case IDOK:
                        if (Apply(true)) Finish(IDOK);
                        return 0;
                    case IDCANCEL:
                        if (Cancel()) Finish(IDCANCEL);
                        return 0;
                    case ID_APPLY_NOW:
                        if (IsApplyEnabled()) Apply(false);
                        return 0;
                    default:
                        break;
                }
            }
            break;
        case PSM_CHANGED:
            PageChanged(pageOf(reinterpret_cast<HWND>(wParam)), true);
            return 0;
        case PSM_UNCHANGED:
            PageChanged(pageOf(reinterpret_cast<HWND>(wParam)), false);
            return 0;
        case PSM_SETCURSEL: {
            if (lParam != 0) {
                auto it = std::find(m_pages.begin(), m_pages.end(), PageFromHandle(reinterpret_cast<HPROPSHEETPAGE>(lParam)));
                return it != m_pages.end() && ShowPage(static_cast<int>(it - m_pages.begin()));
            }
            return ShowPage(static_cast<int>(wParam));
        }
        case PSM_PRESSBUTTON:
            return PressButton(static_cast<int>(wParam));
        case PSM_APPLY:
            return Apply(false);
        case PSM_SETTITLE:
            SetTitle(reinterpret_cast<LPCSTR>(lParam));
            return 0;
        case PSM_GETCURRENTPAGEHWND: {
            CPropertyPage* page = GetPage(m_active);
            return reinterpret_cast<LRESULT>(page != nullptr ? page->m_hWnd : nullptr);
        }
        default:
            break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CPropertySheet::PostNcDestroy() {
    m_active = -1;
    if (!m_modal && m_closed) {
        // The handler may delete the sheet: nothing of it is touched after.
        auto closed = m_closed;
        closed(this);
    }
}

namespace kv::ui::detail {

void DescribeClassObject(CWnd* object, WindowView& view) {
    if (auto* sheet = dynamic_cast<CPropertySheet*>(object)) {
        for (int i = 0; i < sheet->GetPageCount(); ++i) view.tabs.push_back(sheet->GetPage(i)->GetTitle());
        view.activeTab = sheet->GetActiveIndex();
    } else if (auto* page = dynamic_cast<CPropertyPage*>(object)) {
        view.modified = page->IsModified() != FALSE;
        if (view.text.empty()) view.text = page->GetTitle();
    }
}

}  // namespace kv::ui::detail
