// The text of a plain-text message as it goes to the server (RFC 5322 with
// MIME): Date, Message-ID, From, To, Subject, MIME-Version, Content-Type
// text/plain; charset=utf-8 and a transfer encoding, then the body. Every
// line ends with CR LF; texts that are not ASCII are encoded (RFC 2047 in
// headers, quoted-printable in the body). Dot-stuffing is the transport's
// business and is not done here.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "platform/mail/MailAddress.h"

namespace kv::platform {

struct MimeParts {
    std::vector<MailAddress> from;
    std::vector<MailAddress> to;
    std::string subject;
    std::string body;  // UTF-8, any line ends
};

std::string ComposeMessage(const MimeParts& parts);

// Pieces, for the transport and for tests.
std::string Rfc5322Date(time_t when);
std::string NewMessageId(const std::string& domain);
// The header value of a text: as it is when it is printable ASCII, else
// RFC 2047 encoded words (base64, UTF-8) folded onto continuation lines.
std::string EncodeHeaderText(const std::string& text);
std::string FormatAddressList(const std::vector<MailAddress>& list);
// CR LF line ends: a lone LF or a lone CR becomes CR LF.
std::string ToCrLf(const std::string& text);
std::string QuotedPrintable(const std::string& crlfText);

}  // namespace kv::platform
