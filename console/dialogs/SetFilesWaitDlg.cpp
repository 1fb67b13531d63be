#include "console/dialogs/SetFilesWaitDlg.h"

#include "common/DebugLog.h"
#include "console/module/ModuleStartup.h"
#include "console/resources/resource.h"
#include "platform/system/SystemInfo.h"

namespace {

std::atomic<int> g_busyWorkers{0};

}  // namespace

bool SettingFilesBusy() { return g_busyWorkers.load() > 0; }

CSetFilesWaitDlg::CSetFilesWaitDlg(std::function<void(CSetFilesWaitDlg&)> job)
    : CDialog(ConsoleModuleHandle(), IDD_SET_FILES_WAIT), m_job(std::move(job)) {
    OnMessage(WM_SETFILES_FINISHED, [this](WPARAM, LPARAM) -> LRESULT {
        if (m_worker.joinable()) m_worker.join();
        --g_busyWorkers;
        EndDialog(IDOK);
        WriteDebugLog(7, ">>>Thread finished!");
        return 0;
    });
    OnMessage(WM_SETFILES_RUN, [](WPARAM, LPARAM lParam) -> LRESULT {
        auto* fn = reinterpret_cast<const std::function<void()>*>(lParam);
        if (fn != nullptr) (*fn)();
        return 0;
    });
}

CSetFilesWaitDlg::~CSetFilesWaitDlg() {
    if (m_worker.joinable()) m_worker.join();
}

void CSetFilesWaitDlg::RunOnUiThread(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == m_uiThread || m_hWnd == nullptr) {
        fn();
        return;
    }
    SendMessage(WM_SETFILES_RUN, 0, reinterpret_cast<LPARAM>(&fn));
}

BOOL CSetFilesWaitDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_uiThread = std::this_thread::get_id();
    HWND animation = nullptr;
    GetDlgItem(IDC_WAIT_ANIMATION, &animation);
    if (animation != nullptr) {
        (void)Animate_Open(animation, "process-working");
        (void)Animate_Play(animation, 0, static_cast<UINT>(-1), static_cast<UINT>(-1));
    }
    ++g_busyWorkers;
    m_worker = std::thread([this] {
        // The dialog is on screen before the work starts, however short it is.
        Sleep(500);
        try {
            m_job(*this);
        } catch (...) {
            WriteDebugLog(1, "Unexpected error in the setting-files thread");
        }
        PostMessage(WM_SETFILES_FINISHED);
    });
    return TRUE;
}

void RunSettingFiles(const std::function<void(CSetFilesWaitDlg&)>& job) {
    CSetFilesWaitDlg dialog(job);
    if (dialog.DoModal() == -1) {
        // Without its template the work still has to be done.
        ++g_busyWorkers;
        job(dialog);
        --g_busyWorkers;
    }
}
