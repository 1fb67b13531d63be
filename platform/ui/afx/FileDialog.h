// CFileDialog: the open or save dialog with an MFC filter ("Text Files
// (*.txt)|*.txt|All Files (*.*)|*.*||") and the chosen path afterwards.
#pragma once

#include <string>

#include "platform/ui/CommDlg.h"
#include "platform/ui/afx/Wnd.h"

class KV_UI_API CFileDialog {
public:
    CFileDialog(BOOL openFileDialog, LPCSTR defaultExtension = nullptr, LPCSTR fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR filter = nullptr, CWnd* parent = nullptr);
    virtual ~CFileDialog() = default;
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK or IDCANCEL (also after an error; CommDlgExtendedError says which).
    virtual INT_PTR DoModal();
    std::string GetPathName() const { return std::string(m_file); }
    std::string GetFileName() const;
    std::string GetFileExt() const;

    // The fields of the dialog; lpstrTitle and lpstrInitialDir may be set
    // before DoModal.
    OPENFILENAMEA m_ofn{};

private:
    BOOL m_open;
    std::string m_filter;
    std::string m_defaultExtension;
    char m_file[4096] = {};
};
