#include "console/pages/ExtListPage.h"

#include "common/DebugLog.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "console/dialogs/AddExtDlg.h"
#include "console/module/ModuleStartup.h"
#include "console/resources/resource.h"
#include "console/settings/ExtensionList.h"
#include "console/settings/ExtensionName.h"
#include "console/snapin/Component.h"
#include "platform/eventlog/MessageFile.h"
#include "platform/file/File.h"
#include "platform/file/FileOperations.h"
#include "platform/shell/ShellInfo.h"
#include "platform/ui/afx/FileDialog.h"
#include "platform/win/LastError.h"

namespace {

const char kFilter[] = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";

// A list file is a few hundred bytes; more than this is not one.
const size_t kLongestListFile = 1u << 20;

std::string TempFolder() {
    char folder[MAX_PATH] = {};
    DWORD n = GetTempPathA(sizeof folder, folder);
    return n > 0 && n < sizeof folder ? std::string(folder, n) : std::string();
}

bool ReadListFile(const std::string& path, std::string& text, DWORD& error) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != FALSE) && read > 0) {
        text.append(buffer, read);
        if (text.size() > kLongestListFile) {
            ok = false;
            SetLastError(ERROR_INVALID_DATA);
            break;
        }
    }
    error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return ok;
}

}  // namespace

CExtListPage::CExtListPage() : CPropertyPage(ConsoleModuleHandle(), IDD_EXCLUDED_EXTENSIONS) {
    OnCommandFrom(IDC_ADD_EXTENSION, BN_CLICKED, [this] { OnAdd(); });
    OnCommandFrom(IDC_REMOVE_EXTENSION, BN_CLICKED, [this] { OnRemove(); });
    OnCommandFrom(IDC_IMPORT_EXTENSIONS, BN_CLICKED, [this] { OnImport(); });
    OnCommandFrom(IDC_EXPORT_EXTENSIONS, BN_CLICKED, [this] { OnExport(); });
    OnNotifyFrom(IDC_EXTENSION_LIST, LVN_ITEMCHANGED, [this](NMHDR*, LRESULT*) { UpdateButtons(); });
    OnNotifyFrom(IDC_EXTENSION_LIST, LVN_KEYDOWN, [this](NMHDR* header, LRESULT*) {
        WORD key = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
        if (key == VK_INSERT) OnAdd();
        else if (key == VK_DELETE) OnRemove();
    });
}

CExtListPage::~CExtListPage() { DeleteWorkingFile(); }

BOOL CExtListPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_list.SubclassDlgItem(IDC_EXTENSION_LIST, this);
    m_list.InsertColumn(0, "Extension", LVCFMT_LEFT, 220);
    m_images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8);
    m_list.SetImageList(m_images.GetSafeHandle(), LVSIL_SMALL);
    return TRUE;
}

BOOL CExtListPage::OnSetActive() {
    CPropertyPage::OnSetActive();
    // The working file of edits not applied yet stays: leaving the page and
    // coming back must not throw them away.
    if (m_workingFile.empty()) {
        std::string folder = TempFolder();
        char name[MAX_PATH] = {};
        if (folder.empty() || GetTempFileNameA(folder.c_str(), "ext", 0, name) == 0) {
            ShowFileError(GetLastError());
            UpdateButtons();
            return TRUE;
        }
        m_workingFile = name;
        // A missing list file is an empty list, as the engine reads it.
        if (g_szDataPath[0] != '\0' &&
            !CopyFileA((std::string(g_szDataPath) + "\\extexcluded.dat").c_str(), m_workingFile.c_str(), FALSE)) {
            DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) ShowFileError(error);
        }
    }
    EmptyList();
    FillFromFile(m_workingFile);
    UpdateButtons();
    return TRUE;
}

BOOL CExtListPage::OnKillActive() {
    if (!CPropertyPage::OnKillActive()) return FALSE;
    if (IsModified() && !m_workingFile.empty()) {
        DWORD error = ERROR_SUCCESS;
        if (!WriteList(m_workingFile, error)) {
            // The list on the page is all there is of the edits: it stays.
            ShowFileError(error);
            return FALSE;
        }
        GetExtensionList();
    }
    EmptyList();
    return TRUE;
}

BOOL CExtListPage::OnApply() {
    if (!IsModified()) {
        DeleteWorkingFile();
        return TRUE;
    }
    if (m_workingFile.empty()) return TRUE;
    std::string target = std::string(g_szDataPath) + "\\extexcluded.dat";
    // Never delete first: the rename puts the whole new list in the old one's
    // place, so the engine cannot meet a missing or half-written file.
    if (g_szDataPath[0] == '\0' ||
        !MoveFileExA(m_workingFile.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = g_szDataPath[0] == '\0' ? static_cast<DWORD>(ERROR_PATH_NOT_FOUND) : GetLastError();
        WriteDebugLogF(1, "Could not replace %s with the new excluded extensions (error %lu)", target.c_str(),
                       static_cast<unsigned long>(error));
        // The old list stays in force; the edits stay on the page.
        ShowFileError(error);
        EmptyList();
        FillFromFile(m_workingFile);
        UpdateButtons();
        return FALSE;
    }
    m_workingFile.clear();
    GetExtensionList();
    RefreshOpenViews();
    SetModified(FALSE);
    return TRUE;
}

void CExtListPage::OnReset() {
    EmptyList();
    DeleteWorkingFile();
}

void CExtListPage::OnAdd() {
    CAddExtDlg dialog(this);
    if (dialog.DoModal() != IDOK) return;
    if (AddExtension(dialog.m_strExtension)) SetModified(TRUE);
    UpdateButtons();
}

void CExtListPage::OnRemove() {
    int selected = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (selected < 0) return;
    m_list.DeleteItem(selected);
    SetModified(TRUE);
    UpdateButtons();
}

void CExtListPage::OnImport() {
    CFileDialog dialog(TRUE, "txt", nullptr, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY, kFilter, this);
    if (dialog.DoModal() != IDOK) return;
    if (FillFromFile(dialog.GetPathName())) SetModified(TRUE);
    UpdateButtons();
}

void CExtListPage::OnExport() {
    CFileDialog dialog(FALSE, "txt", nullptr, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, kFilter, this);
    std::string title = ResourceText(60);
    dialog.m_ofn.lpstrTitle = title.c_str();
    if (dialog.DoModal() != IDOK) return;
    DWORD error = ERROR_SUCCESS;
    if (!WriteList(dialog.GetPathName(), error)) ShowFileError(error);
}

void CExtListPage::UpdateButtons() {
    if (m_hWnd == nullptr) return;
    if (CWnd* remove = GetDlgItem(IDC_REMOVE_EXTENSION))
        remove->EnableWindow(m_list.GetNextItem(-1, LVNI_SELECTED) >= 0 ? TRUE : FALSE);
    if (CWnd* exportButton = GetDlgItem(IDC_EXPORT_EXTENSIONS))
        exportButton->EnableWindow(m_list.GetItemCount() > 0 ? TRUE : FALSE);
}

BOOL CExtListPage::FillFromFile(const std::string& path) {
    std::string text;
    DWORD error = ERROR_SUCCESS;
    if (!ReadListFile(path, text, error)) {
        ShowFileError(error);
        return FALSE;
    }
    size_t ignored = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        // The line becomes part of a file name below: only an extension may.
        if (!CleanExtension(line)) {
            ++ignored;
            continue;
        }
        AddExtension(line);
    }
    if (ignored > 0)
        WriteDebugLogF(1, "Ignoring %lu lines of %s that hold no file extension", static_cast<unsigned long>(ignored),
                       path.c_str());
    return TRUE;
}

bool CExtListPage::AddExtension(const std::string& extension) {
    LVFINDINFO find{};
    find.flags = LVFI_STRING;
    find.psz = extension.c_str();
    for (int at = m_list.FindItem(&find); at >= 0; at = m_list.FindItem(&find, at))
        if (m_list.GetItemText(at, 0) == extension) return false;
    // The shell knows a type's icon by a file of it: an empty probe that
    // lives only as long as the question.
    int image = -1;
    std::string probe = TempFolder() + "~tmpLOrv." + extension;
    HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        SHFILEINFOA info{};
        if (SHGetFileInfoA(probe.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0)
            image = m_images.Add(kv::platform::SystemImageName(info.iIcon).c_str());
        DeleteFileA(probe.c_str());
    }
    if (image < 0) image = m_images.Add("text-x-generic");
    m_list.InsertItem(m_list.GetItemCount(), extension.c_str(), image);
    return true;
}

BOOL CExtListPage::WriteList(const std::string& path, DWORD& error) const {
    std::string lines;
    for (int i = 0; i < m_list.GetItemCount(); ++i) lines += m_list.GetItemText(i, 0) + "\r\n";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return FALSE;
    }
    DWORD written = 0;
    BOOL ok = lines.empty() || (WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) &&
                                written == lines.size());
    error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return ok;
}

void CExtListPage::EmptyList() {
    if (m_list.m_hWnd != nullptr) m_list.DeleteAllItems();
    if (m_images.GetSafeHandle() != nullptr) m_images.Remove(-1);
}

void CExtListPage::DeleteWorkingFile() {
    if (m_workingFile.empty()) return;
    DeleteFileA(m_workingFile.c_str());
    m_workingFile.clear();
}

void CExtListPage::ShowFileError(DWORD error) {
    char text[512] = {};
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                       nullptr) == 0)
        std::snprintf(text, sizeof text, "Error %lu.", static_cast<unsigned long>(error));
    MessageBox(text, ResourceText(59).c_str(), MB_OK | MB_ICONSTOP);
}
