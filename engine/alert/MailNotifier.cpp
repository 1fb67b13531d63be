#include "engine/alert/MailNotifier.h"

#include "common/DebugLog.h"
#include "platform/mail/CdoMessage.h"

namespace {

const LONG kConnectionTimeoutSeconds = 30;

const char* OrNull(const std::string& text) { return text.empty() ? "(null)" : text.c_str(); }

// A 5xx reply is the server's final word on this message; a 4xx reply, a
// connection that failed or dropped may go better another time.
bool IsPermanent(const KvComError& error) {
    switch (error.Error()) {
    case CDO_E_FROM_MISSING:
    case CDO_E_RECIPIENT_MISSING:
        return true;
    case CDO_E_SENDER_REJECTED:
    case CDO_E_RECIPIENTS_REJECTED:
    case CDO_E_SMTP_SEND_FAILED: {
        const std::string marker = "The server response was: ";
        size_t at = error.Description().find(marker);
        // Without a reply, the address itself was found unusable.
        return at == std::string::npos || error.Description().compare(at + marker.size(), 1, "5") == 0;
    }
    default:
        return false;
    }
}

}  // namespace

HRESULT TestEmailThread(const MailRequest& request, bool* refusedForGood) {
    if (refusedForGood != nullptr) *refusedForGood = false;
    CoInitialize(nullptr);
    HRESULT result = E_FAIL;
    try {
        WriteDebugLog(7, "CVerifyMailServer.TestEmailThread  Initialization of the IMessagePtr");
        CDO::IMessagePtr message;
        HRESULT created = message.CreateInstance(CDO::CLSID_Message);
        if (FAILED(created) && created != E_NOINTERFACE) throw KvComError(created, CDO::kErrorSource,
                                                                           "The message object could not be created.");
        ADODB::FieldsPtr fields = message->GetConfiguration()->GetFields();
        fields->GetItem(CDO::cdoSendUsingMethod)->PutValue(static_cast<LONG>(CDO::cdoSendUsingPort));
        WriteDebugLog(7, "Setting the port on which server is listening");
        fields->GetItem(CDO::cdoSMTPServerPort)->PutValue(request.port);
        WriteDebugLog(7, "Setting the Connection time-out.");
        fields->GetItem(CDO::cdoSMTPConnectionTimeout)->PutValue(kConnectionTimeoutSeconds);
        WriteDebugLog(7, "Setting the SMTP Server");
        fields->GetItem(CDO::cdoSMTPServer)->PutValue(request.server);
        WriteDebugLog(7, "Update the Fields Collection of the Message object.");
        fields->Update();
        WriteDebugLogF(7, "Setting subject: %s", request.subject.c_str());
        message->PutSubject(request.subject);
        WriteDebugLog(7, "Setting mail body...");
        bool bodySet = true;
        try {
            message->PutTextBody(request.body);
        } catch (...) {
            bodySet = false;
        }
        if (!bodySet) {
            WriteDebugLog(1, "Unexpected error setting the email body");
            if (refusedForGood != nullptr) *refusedForGood = true;
            message.Release();
            CoUninitialize();
            return E_FAIL;
        }
        WriteDebugLogF(7, "Setting from: %s", request.from.c_str());
        message->PutFrom(request.from);
        WriteDebugLogF(7, "Setting recipient(s): %s", request.to.c_str());
        message->PutTo(request.to);
        WriteDebugLogF(7, "Trying to send email from server: '%s' on port %d...", request.server.c_str(),
                       static_cast<int>(request.port));
        result = message->Send();
        WriteDebugLog(7, "The test email was successfully sent.");
        message.Release();
    } catch (const KvComError& error) {
        WriteDebugLogF(1, "An error occurred while sending the email notification(source: %s, description: %s)",
                       OrNull(error.Source()), OrNull(error.Description()));
        if (refusedForGood != nullptr) *refusedForGood = IsPermanent(error);
        result = E_FAIL;
    }
    CoUninitialize();
    return result;
}

BOOL CSocketX::OnMessagePending() {
    try {
        return FALSE;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in OnMessagePending");
        return FALSE;
    }
}
