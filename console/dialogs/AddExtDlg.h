// "Add extension": asks for one file extension to exclude.
#pragma once

#include <string>

#include "platform/ui/afx/Dialog.h"

class CAddExtDlg : public CDialog {
public:
    explicit CAddExtDlg(CWnd* parent = nullptr);
    // The extension as it goes into the list (see CleanExtension).
    std::string m_strExtension;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
