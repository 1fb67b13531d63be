#include "platform/ui/afx/FileDialog.h"

#include <cstring>

CFileDialog::CFileDialog(BOOL openFileDialog, LPCSTR defaultExtension, LPCSTR fileName, DWORD flags, LPCSTR filter,
                         CWnd* parent)
    : m_open(openFileDialog) {
    if (filter != nullptr) {
        // The MFC form separates with "|"; the dialog takes "\0".
        m_filter = filter;
        for (char& c : m_filter)
            if (c == '|') c = '\0';
        m_filter.push_back('\0');
    }
    if (defaultExtension != nullptr) m_defaultExtension = defaultExtension;
    if (fileName != nullptr) std::strncpy(m_file, fileName, sizeof m_file - 1);
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = parent != nullptr ? parent->GetSafeHwnd() : nullptr;
    m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.c_str();
    m_ofn.nFilterIndex = 1;
    m_ofn.lpstrFile = m_file;
    m_ofn.nMaxFile = sizeof m_file;
    m_ofn.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
    m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal() {
    BOOL chosen = m_open ? GetOpenFileNameA(&m_ofn) : GetSaveFileNameA(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}

std::string CFileDialog::GetFileName() const {
    std::string path = m_file;
    size_t cut = path.rfind('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string CFileDialog::GetFileExt() const {
    std::string name = GetFileName();
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}
