// The alert e-mail: one plain-text message handed to the SMTP server of the
// settings through the CDO message object.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

struct MailRequest {
    std::string server;   // SERVERIP
    std::string from;     // the job's MAILFROM
    std::string to;       // the job's MAILTO, as the mail object parses it
    std::string subject;
    std::string body;
    LONG port = 25;       // SMTPPORT
};

// S_OK when the server took the message; E_FAIL otherwise (logged).
HRESULT TestEmailThread(const MailRequest& request);

// The engine's blocking socket. Its blocking calls have no message loop here
// to pump, so no time-out timer message can be pending while they wait.
class CSocketX {
public:
    UINT m_nTimeOut = 0;
    BOOL OnMessagePending();
};
