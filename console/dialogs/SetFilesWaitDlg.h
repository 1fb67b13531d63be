// "Please wait while setting files for scan...": a modal dialog without
// buttons whose worker thread writes the scan-job settings while the UI
// thread keeps drawing. The worker reaches windows and the console only
// through RunOnUiThread, a SendMessage to the dialog that the UI thread runs
// while the worker waits.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "platform/ui/afx/Dialog.h"

// The private message that ends the dialog when the worker is done.
#define WM_SETFILES_FINISHED (WM_USER + 1)
// A call the worker hands to the UI thread (lParam: std::function<void()>*).
#define WM_SETFILES_RUN (WM_USER + 2)

class CSetFilesWaitDlg : public CDialog {
public:
    explicit CSetFilesWaitDlg(std::function<void(CSetFilesWaitDlg&)> job);
    ~CSetFilesWaitDlg() override;

    // Runs fn on the dialog's thread: at once there, otherwise as a
    // cross-thread SendMessage.
    void RunOnUiThread(const std::function<void()>& fn);

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override {}  // only the worker ends the dialog

private:
    std::function<void(CSetFilesWaitDlg&)> m_job;
    std::thread m_worker;
    std::thread::id m_uiThread;
};

// Runs the job under the dialog; returns when the worker has finished.
void RunSettingFiles(const std::function<void(CSetFilesWaitDlg&)>& job);

// True while a worker of the dialog writes settings: views then draw the
// states they have instead of asking the database the worker is using.
bool SettingFilesBusy();
