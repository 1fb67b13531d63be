// CDialog: a dialog from a template of the resource module, modal (DoModal)
// or modeless (Create), with OnInitDialog, OnOK, OnCancel and data exchange.
#pragma once

#include <string>

#include "platform/ui/afx/Wnd.h"

class KV_UI_API CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    // A template of an explicit module (null: AfxGetResourceHandle()).
    CDialog(HINSTANCE module, UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog in a modal loop on the calling thread; the value given
    // to EndDialog, or -1 when the template is missing.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless and visible (unless the template hides it).
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);
    void NextDlgCtrl() const;
    void GotoDlgCtrl(CWnd* control);
    void SetDefID(UINT id);

    UINT m_nIDHelp = 0;

protected:
    // WM_INITDIALOG: the default runs UpdateData(FALSE) and returns TRUE (the
    // focus goes to the first tab stop).
    virtual BOOL OnInitDialog();
    // IDOK: UpdateData(TRUE) and, when it succeeds, EndDialog(IDOK).
    virtual void OnOK();
    // IDCANCEL (also Escape and the close box): EndDialog(IDCANCEL).
    virtual void OnCancel();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    HINSTANCE m_module = nullptr;
    UINT m_templateId = 0;
    CWnd* m_pParentWnd = nullptr;
    bool m_modal = false;
};

// Data exchange: each DDX_ call moves one value between a control and a
// member, in the direction of m_bSaveAndValidate. A DDV_ check that fails
// shows its message, puts the focus on the control and calls Fail(), which
// makes UpdateData return FALSE.
class KV_UI_API CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // The control of the last DDX_ call, which a DDV_ check that follows it
    // refers to.
    HWND LastControl() const { return m_lastControl; }
    [[noreturn]] void Fail();

private:
    HWND m_lastControl = nullptr;
};

KV_UI_API void DDX_Control(CDataExchange* dx, int id, CWnd& control);
KV_UI_API void DDX_Text(CDataExchange* dx, int id, std::string& value);
KV_UI_API void DDX_Text(CDataExchange* dx, int id, int& value);
KV_UI_API void DDX_Text(CDataExchange* dx, int id, UINT& value);
KV_UI_API void DDX_Text(CDataExchange* dx, int id, long& value);
KV_UI_API void DDX_Check(CDataExchange* dx, int id, int& value);
// The index of the checked button of the radio group that starts at id.
KV_UI_API void DDX_Radio(CDataExchange* dx, int id, int& value);
KV_UI_API void DDX_DateTimeCtrl(CDataExchange* dx, int id, SYSTEMTIME& value);
// Limits the edit's text (when loading) and refuses longer text (when saving).
KV_UI_API void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars);
KV_UI_API void DDV_MinMaxInt(CDataExchange* dx, int value, int minValue, int maxValue);
