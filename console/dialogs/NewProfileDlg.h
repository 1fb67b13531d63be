// "New Profile": asks for the name of a new scan job.
#pragma once

#include <string>

#include "platform/ui/afx/Dialog.h"

// The longest name the scan-job table holds.
#define PROFILE_NAME_CHARS 255

class CNewProfileDlg : public CDialog {
public:
    CNewProfileDlg();
    std::string m_strName;

protected:
    void DoDataExchange(CDataExchange* dx) override;
};

// Shows the dialog modally; FALSE when it was cancelled.
BOOL AskNewProfileName(std::string& name);
