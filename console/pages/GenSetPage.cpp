#include "console/pages/GenSetPage.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/DebugLog.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "console/module/ModuleStartup.h"
#include "console/resources/resource.h"

namespace {

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool HoldsControlCharacter(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

// A port the mail client can connect to: 1 to 65535, in decimal digits.
bool ParsePort(const std::string& text, DWORD& port) {
    if (text.empty() || text.size() > 5) return false;
    DWORD value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<DWORD>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    port = value;
    return true;
}

}  // namespace

CGenSetPage::CGenSetPage() : CPropertyPage(ConsoleModuleHandle(), IDD_GENERAL_SETTINGS) {
    auto changed = [this] {
        if (!m_loading) SetModified(TRUE);
    };
    OnCommandFrom(IDC_SMTP_SERVER, EN_CHANGE, changed);
    OnCommandFrom(IDC_SMTP_PORT, EN_CHANGE, changed);
}

BOOL CGenSetPage::OnInitDialog() {
    m_loading = true;
    CPropertyPage::OnInitDialog();
    SendDlgItemMessage(IDC_SMTP_PORT, EM_LIMITTEXT, 5);
    SendDlgItemMessage(IDC_SMTP_SERVER, EM_LIMITTEXT, SMTP_SERVER_CHARS);
    SetDlgItemText(IDC_SMTP_SERVER, g_szServerIP);
    char port[16];
    // Printed as the signed 32-bit number the settings copy is on Windows.
    std::snprintf(port, sizeof port, "%ld", static_cast<long>(static_cast<int32_t>(g_dwSmtpPort)));
    SetDlgItemText(IDC_SMTP_PORT, port);
    SetDlgItemText(IDC_DEFAULT_PORT, "(Default: 25)");
    m_loading = false;
    return TRUE;
}

BOOL CGenSetPage::Refuse(UINT textId, int controlId) {
    MessageBox(ResourceText(textId).c_str(), ResourceText(59).c_str(), MB_OK | MB_ICONSTOP);
    if (CWnd* control = GetDlgItem(controlId)) control->SetFocus();
    return FALSE;
}

BOOL CGenSetPage::OnApply() {
    if (!IsModified()) return TRUE;
    std::string server, portText;
    GetDlgItemText(IDC_SMTP_SERVER, server);
    GetDlgItemText(IDC_SMTP_PORT, portText);
    // Blanks around a name are no part of it; a name of blanks or one
    // holding a line break would reach the mail server as a broken command.
    server = Trimmed(server);
    if (server.empty() || HoldsControlCharacter(server) || server.size() >= sizeof g_szServerIP)
        return Refuse(78, IDC_SMTP_SERVER);
    DWORD port = 0;
    if (!ParsePort(Trimmed(portText), port)) return Refuse(79, IDC_SMTP_PORT);

    bool serverChanged = server != g_szServerIP;
    bool portChanged = port != g_dwSmtpPort;
    if (serverChanged || portChanged) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_szSettingsKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
            // Nothing was written: the page stays modified so that the user
            // is not told the settings took effect.
            WriteDebugLog(1, "Could not set information into the registry");
            return FALSE;
        }
        bool written = true;
        if (serverChanged) {
            if (RegSetValueExA(key, "SERVERIP", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                               static_cast<DWORD>(server.size() + 1)) == ERROR_SUCCESS)
                std::memcpy(g_szServerIP, server.c_str(), server.size() + 1);
            else
                written = false;
        }
        if (portChanged) {
            if (RegSetValueExA(key, "SMTPPORT", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port), sizeof port) ==
                ERROR_SUCCESS)
                g_dwSmtpPort = port;
            else
                written = false;
        }
        RegCloseKey(key);
        if (!written) {
            WriteDebugLog(1, "Could not set information into the registry");
            return FALSE;
        }
    }
    SetModified(FALSE);
    return TRUE;
}
