#include "engine/alert/AlertSpool.h"

#include <string>

#include "common/DebugLog.h"
#include "common/Settings.h"
#include "platform/mail/MailSpool.h"

namespace {

const size_t kMaxSpooledAlerts = 100;
const unsigned long long kMaxSpoolBytes = 64ull << 20;

// Without a data folder there is no spool (never a folder of that name
// somewhere else).
kv::platform::MailSpool Spool() {
    if (g_szDataPath[0] == '\0') return kv::platform::MailSpool(std::string());
    return kv::platform::MailSpool(std::string(g_szDataPath) + "\\AlertSpool");
}

void Keep(kv::platform::MailSpool& spool, const MailRequest& request) {
    const size_t waiting = spool.List().size();
    const unsigned long long size = request.from.size() + request.to.size() + request.subject.size() +
                                    request.body.size();
    if (waiting >= kMaxSpooledAlerts || spool.Bytes() + size > kMaxSpoolBytes) {
        WriteDebugLogF(1, "The alert spool is full (%u alerts waiting); this alert is not kept",
                       static_cast<unsigned>(waiting));
        return;
    }
    DWORD error = spool.Add({request.from, request.to, request.subject, request.body});
    if (error != ERROR_SUCCESS) {
        WriteDebugLogF(1, "Could not keep the alert in the spool %s; error %lu", spool.Folder().c_str(),
                       static_cast<unsigned long>(error));
        return;
    }
    WriteDebugLogF(2, "The alert is kept in the spool to be sent at the next check (%u waiting)",
                   static_cast<unsigned>(waiting + 1));
}

}  // namespace

void SendSpooledAlerts() {
    kv::platform::MailSpool spool = Spool();
    const std::vector<std::string> names = spool.List();
    if (names.empty()) return;
    WriteDebugLogF(2, "Sending the %u alerts kept in the spool", static_cast<unsigned>(names.size()));
    for (const std::string& name : names) {
        kv::platform::SpooledMail mail;
        DWORD error = spool.Read(name, mail);
        if (error == ERROR_FILE_NOT_FOUND) continue;
        if (error != ERROR_SUCCESS) {
            spool.SetAside(name);
            WriteDebugLogF(1, "Set aside the spooled alert %s, which cannot be read; error %lu", name.c_str(),
                           static_cast<unsigned long>(error));
            continue;
        }
        MailRequest request;
        request.server = g_szServerIP;
        request.port = static_cast<LONG>(g_dwSmtpPort);
        request.from = mail.from;
        request.to = mail.to;
        request.subject = mail.subject;
        request.body = mail.body;
        bool refusedForGood = false;
        if (TestEmailThread(request, &refusedForGood) == S_OK || refusedForGood) {
            if (refusedForGood)
                WriteDebugLogF(1, "The server refused the spooled alert %s for good; it leaves the spool",
                               name.c_str());
            // Should the file stay, the alert goes once more: a double, never a loss.
            if (spool.Remove(name) != ERROR_SUCCESS)
                WriteDebugLogF(1, "Could not remove the sent alert %s from the spool", name.c_str());
            continue;
        }
        WriteDebugLog(1, "Error sending an alert kept in the spool; it waits for the next check");
        return;
    }
}

HRESULT DeliverAlert(const MailRequest& request) {
    kv::platform::MailSpool spool = Spool();
    if (!spool.List().empty()) {
        Keep(spool, request);
        return S_FALSE;
    }
    bool refusedForGood = false;
    if (TestEmailThread(request, &refusedForGood) == S_OK) return S_OK;
    WriteDebugLog(1, "Error sending the email notification");
    // No later attempt could deliver it: keeping it would only hold up the
    // alerts behind it.
    if (!refusedForGood) Keep(spool, request);
    return E_FAIL;
}
