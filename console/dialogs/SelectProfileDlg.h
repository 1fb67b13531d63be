// "Select Scan Job": the scan job for a file, a folder or several selected
// items, and how far the change reaches.
#pragma once

#include <vector>

#include "console/data/ConsoleData.h"
#include "platform/ui/afx/Dialog.h"

enum class SelectWording { File, Folder, Selection };

struct CProfileChoice {
    LONG profile = 0;
    bool thisOnly = true;      // the item alone (files always)
    bool anyProfile = false;   // the box "... from any scan job"
};

class CSelectProfileDlg : public CDialog {
public:
    CSelectProfileDlg(SelectWording wording, const std::vector<CProfileEntry>& profiles, LONG current,
                      bool anyProfile);
    CProfileChoice m_choice;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    SelectWording m_wording;
    const std::vector<CProfileEntry>& m_profiles;
    CListCtrl m_list;
};

// Shows the dialog modally; FALSE when it was cancelled.
BOOL AskItemProfile(SelectWording wording, const std::vector<CProfileEntry>& profiles, LONG current, bool anyProfile,
                    CProfileChoice& choice);
