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

// S_OK when the server took the message; E_FAIL otherwise (logged). When
// refusedForGood is given, it tells a message that no later attempt can
// deliver (no sender or recipient, addresses the server refuses with a
// permanent reply) from one the server could not take now.
HRESULT TestEmailThread(const MailRequest& request, bool* refusedForGood = nullptr);

// The engine's blocking socket. Its blocking calls have no message loop here
// to pump, so no time-out timer message can be pending while they wait.
class CSocketX {
public:
    UINT m_nTimeOut = 0;
    BOOL OnMessagePending();
};
