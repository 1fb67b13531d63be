// Asking the update-check library for the latest build: the call itself, the
// "Please wait" dialog that runs it on a worker thread, and the message that
// tells the user what came of it.
#pragma once

#include <string>
#include <thread>

#include "platform/ui/afx/Dialog.h"
#include "platform/win/WinTypes.h"

// The worker's closing message to the dialog.
#define WM_UPDATE_CHECK_DONE 0x401

struct UpdateCheckResult {
    LONG status = -1;
    LONG latestBuild = -1;
    LONG detail = -1;
};

// Loads the library, calls its check with the product code and unloads it.
UpdateCheckResult RunUpdateCheck();

class CUpdateCheckDlg : public CDialog {
public:
    CUpdateCheckDlg();
    ~CUpdateCheckDlg() override;
    UpdateCheckResult m_result;

protected:
    BOOL OnInitDialog() override;
    // Neither Escape nor the close box ends the wait: the worker does.
    void OnCancel() override {}
    void OnOK() override {}

private:
    std::thread m_worker;
};

// The text and icon (MB_ICONINFORMATION or MB_ICONERROR) that report a
// check's result; installedBuild is the build the page shows.
struct UpdateStatusMessage {
    std::string text;
    UINT icon;
};
UpdateStatusMessage DescribeUpdateStatus(const UpdateCheckResult& result, DWORD installedBuild);
