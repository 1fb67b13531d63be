#include "console/report/UpdateCheck.h"

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "console/module/ModuleStartup.h"
#include "console/report/InternetErrors.h"
#include "console/resources/resource.h"
#include "platform/library/Library.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/WinUser.h"
#include "platform/vireo/Vireo.h"
#include "strings/CodeMap.h"

namespace {

// The language text with its one placeholder (%d or %s) filled; the text is
// never used as a format, so a translation cannot make it read memory.
std::string FillText(UINT id, const std::string& value) {
    std::string text;
    LoadResourceString(id, text);
    for (const char* placeholder : {"%d", "%s"}) {
        size_t at = text.find(placeholder);
        if (at != std::string::npos) return text.replace(at, 2, value);
    }
    return text;
}

std::string PlainText(UINT id) {
    std::string text;
    LoadResourceString(id, text);
    return text;
}

}  // namespace

UpdateCheckResult RunUpdateCheck() {
    UpdateCheckResult result;
    // The library sits beside the console module, as every deliverable
    // finds the others in its own folder.
    std::string module = ConsoleModulePath();
    size_t slash = module.find_last_of("\\/");
    std::string name = slash == std::string::npos ? std::string("Vireo.dll") : module.substr(0, slash + 1) + "Vireo.dll";
    HMODULE library = LoadLibraryA(name.c_str());
    if (library == nullptr) {
        WriteDebugLog(1, "RunUpdateCheck. Could not load Vireo.dll");
        return result;
    }
    auto check = reinterpret_cast<VIREO_CHECK_PROC>(GetProcAddress(library, MAKEINTRESOURCE(VIREO_ORDINAL_CHECK)));
    if (check == nullptr) {
        WriteDebugLog(1, "RunUpdateCheck. Vireo.dll has no update check");
    } else {
        result.latestBuild = -1;
        result.detail = -1;
        result.status = check(1, ProductText(PSC_UPDATE_PRODUCT_CODE), &result.latestBuild, &result.detail);
    }
    FreeLibrary(library);
    return result;
}

CUpdateCheckDlg::CUpdateCheckDlg() : CDialog(ConsoleModuleHandle(), IDD_UPDATE_WAIT) {
    OnMessage(WM_UPDATE_CHECK_DONE, [this](WPARAM, LPARAM) -> LRESULT {
        if (m_worker.joinable()) m_worker.join();
        EndDialog(IDOK);
        return 0;
    });
}

CUpdateCheckDlg::~CUpdateCheckDlg() {
    if (m_worker.joinable()) m_worker.join();
}

BOOL CUpdateCheckDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    HWND dialog = m_hWnd;
    m_worker = std::thread([this, dialog] {
        m_result = RunUpdateCheck();
        ::PostMessage(dialog, WM_UPDATE_CHECK_DONE, 0, 0);
    });
    return TRUE;
}

UpdateStatusMessage DescribeUpdateStatus(const UpdateCheckResult& result, DWORD installedBuild) {
    switch (result.status) {
        case 0:
            if (installedBuild >= static_cast<DWORD>(result.latestBuild)) return {PlainText(36), MB_ICONINFORMATION};
            return {FillText(37, std::to_string(result.latestBuild)), MB_ICONINFORMATION};
        case -1: return {PlainText(38), MB_ICONERROR};
        case -2: return {PlainText(39), MB_ICONERROR};
        case -3: {
            const char* text = InternetErrorText(result.detail);
            if (text != nullptr) return {FillText(40, text), MB_ICONERROR};
            return {FillText(41, std::to_string(result.detail)), MB_ICONERROR};
        }
        case -4: return {PlainText(42), MB_ICONERROR};
        case -5: return {PlainText(43), MB_ICONINFORMATION};
        case -6: return {PlainText(44), MB_ICONERROR};
        default: return {PlainText(39), MB_ICONERROR};
    }
}
