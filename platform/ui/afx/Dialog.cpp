#include "platform/ui/afx/Dialog.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/ui/afx/ClassLayer.h"
#include "platform/ui/window/Controls.h"
#include "platform/ui/window/Dialogs.h"

using namespace kv::ui::detail;

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}

CDialog::CDialog(HINSTANCE module, UINT templateId, CWnd* parent)
    : m_module(module), m_templateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() = default;

namespace {

HINSTANCE ModuleOf(HINSTANCE module) { return module != nullptr ? module : AfxGetResourceHandle(); }

}  // namespace

INT_PTR CDialog::DoModal() {
    if (m_hWnd != nullptr) return -1;
    HINSTANCE module = ModuleOf(m_module);
    const KvDialogTemplate* dialogTemplate = FindDialogTemplate(module, MAKEINTRESOURCE(m_templateId));
    if (dialogTemplate == nullptr) return -1;
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : ::GetActiveWindow();
    m_modal = true;
    HWND dialog = CreateDialogFromTemplate(dialogTemplate, module, owner, nullptr, 0,
                                           [this](Window* window) { ClassLayer::Hook(this, window); }, false);
    if (dialog == nullptr) {
        m_modal = false;
        return -1;
    }
    INT_PTR result = RunModalLoop(dialog);
    m_modal = false;
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (m_hWnd != nullptr) return FALSE;
    m_templateId = templateId;
    if (parent != nullptr) m_pParentWnd = parent;
    HINSTANCE module = ModuleOf(m_module);
    const KvDialogTemplate* dialogTemplate = FindDialogTemplate(module, MAKEINTRESOURCE(templateId));
    if (dialogTemplate == nullptr) return FALSE;
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    m_modal = false;
    HWND dialog = CreateDialogFromTemplate(dialogTemplate, module, owner, nullptr, 0,
                                           [this](Window* window) { ClassLayer::Hook(this, window); }, false);
    if (dialog == nullptr) return FALSE;
    ::ShowWindow(dialog, SW_SHOW);
    return TRUE;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

void CDialog::NextDlgCtrl() const {
    HWND next = ::GetNextDlgTabItem(m_hWnd, ::GetFocus(), FALSE);
    if (next != nullptr) ::SetFocus(next);
}

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (control != nullptr) ::SetFocus(control->m_hWnd);
}

void CDialog::SetDefID(UINT id) { SendMessage(DM_SETDEFID, id); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (CWnd::OnCommand(wParam, lParam)) return TRUE;
    UINT code = HIWORD(wParam);
    if (code != BN_CLICKED) return FALSE;
    int id = static_cast<short>(LOWORD(wParam));
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    return CWnd::WindowProc(message, wParam, lParam);
}

// ---- Data exchange ----------------------------------------------------------

HWND CDataExchange::PrepareCtrl(int id) {
    m_lastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    return m_lastControl;
}

HWND CDataExchange::PrepareEditCtrl(int id) { return PrepareCtrl(id); }

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_lastControl != nullptr) {
        ::SetFocus(m_lastControl);
        ::SendMessage(m_lastControl, EM_SETSEL, 0, -1);
    }
    throw DataExchangeFailure();
}

namespace {

std::string TextOf(HWND control) {
    int length = ::GetWindowTextLength(control);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = ::GetWindowText(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

bool ParseInteger(const std::string& text, long long low, long long high, long long& value) {
    const char* start = text.c_str();
    while (*start == ' ') ++start;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(start, &end, 10);
    if (end == start || errno == ERANGE) return false;
    while (*end == ' ') ++end;
    if (*end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

template <typename T>
void ExchangeInteger(CDataExchange* dx, int id, T& value, long long low, long long high) {
    HWND control = dx->PrepareEditCtrl(id);
    if (control == nullptr) return;
    if (!dx->m_bSaveAndValidate) {
        ::SetWindowText(control, std::to_string(value).c_str());
        return;
    }
    long long parsed = 0;
    if (!ParseInteger(TextOf(control), low, high, parsed)) {
        AfxMessageBox("Please enter an integer.", MB_OK | MB_ICONEXCLAMATION);
        dx->Fail();
    }
    value = static_cast<T>(parsed);
}

}  // namespace

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd != nullptr) return;
    HWND item = dx->PrepareCtrl(id);
    if (item != nullptr) control.SubclassWindow(item);
}

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
    HWND control = dx->PrepareEditCtrl(id);
    if (control == nullptr) return;
    if (dx->m_bSaveAndValidate) {
        value = TextOf(control);
    } else {
        ::SetWindowText(control, value.c_str());
    }
}

void DDX_Text(CDataExchange* dx, int id, int& value) { ExchangeInteger(dx, id, value, INT_MIN, INT_MAX); }
void DDX_Text(CDataExchange* dx, int id, UINT& value) { ExchangeInteger(dx, id, value, 0, UINT_MAX); }
void DDX_Text(CDataExchange* dx, int id, long& value) { ExchangeInteger(dx, id, value, LONG_MIN, LONG_MAX); }

void DDX_Check(CDataExchange* dx, int id, int& value) {
    HWND control = dx->PrepareCtrl(id);
    if (control == nullptr) return;
    if (dx->m_bSaveAndValidate) {
        value = static_cast<int>(::SendMessage(control, BM_GETCHECK, 0, 0));
    } else {
        ::SendMessage(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
    }
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
    HWND first = dx->PrepareCtrl(id);
    if (first == nullptr) return;
    // The group: this button and the radio buttons after it up to the next
    // control that starts a group.
    std::vector<HWND> group;
    HWND dialog = dx->m_pDlgWnd->m_hWnd;
    bool inGroup = false;
    OnOwnerThread(dialog, [&]() -> LRESULT {
        Window* window = OwnWindow(dialog);
        for (HWND child : window->children) {
            Window* control = OwnWindow(child);
            if (control == nullptr) continue;
            if (child == first) {
                inGroup = true;
            } else if (inGroup && (control->style & WS_GROUP) != 0) {
                break;
            }
            if (inGroup && control->kind == kv::ui::WindowKind::RadioButton) group.push_back(child);
        }
        return 0;
    });
    if (dx->m_bSaveAndValidate) {
        value = -1;
        for (size_t i = 0; i < group.size(); ++i)
            if (::SendMessage(group[i], BM_GETCHECK, 0, 0) == BST_CHECKED) value = static_cast<int>(i);
    } else {
        for (size_t i = 0; i < group.size(); ++i)
            ::SendMessage(group[i], BM_SETCHECK, static_cast<int>(i) == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_DateTimeCtrl(CDataExchange* dx, int id, SYSTEMTIME& value) {
    HWND control = dx->PrepareCtrl(id);
    if (control == nullptr) return;
    if (dx->m_bSaveAndValidate) {
        ::SendMessage(control, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&value));
    } else {
        ::SendMessage(control, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value));
    }
}

void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars) {
    HWND control = dx->LastControl();
    if (!dx->m_bSaveAndValidate) {
        if (control != nullptr) ::SendMessage(control, EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
        return;
    }
    bool cut = false;
    CutToCharacters(value, static_cast<size_t>(std::max(maxChars, 0)), &cut);
    if (!cut) return;
    char text[96];
    std::snprintf(text, sizeof text, "Please enter no more than %d characters.", maxChars);
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    dx->Fail();
}

void DDV_MinMaxInt(CDataExchange* dx, int value, int minValue, int maxValue) {
    if (!dx->m_bSaveAndValidate || (value >= minValue && value <= maxValue)) return;
    char text[96];
    std::snprintf(text, sizeof text, "Please enter an integer between %d and %d.", minValue, maxValue);
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    dx->Fail();
}
