// Address lists as the mail object reads them: items separated by "," or
// ";", blanks around them ignored, empty items skipped, and each item either
// a bare address or "Display Name <address>" (the name may be quoted).
#pragma once

#include <string>
#include <vector>

namespace kv::platform {

struct MailAddress {
    std::string display;  // unquoted; empty for a bare address
    std::string address;  // what goes into the envelope
};

std::vector<MailAddress> ParseAddressList(const std::string& text);

// An address that can be given to the server as it stands: not empty, no
// blanks, control characters or angle brackets (which would let an address
// end the command and start another).
bool IsValidEnvelopeAddress(const std::string& address);

}  // namespace kv::platform
