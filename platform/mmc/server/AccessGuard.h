// Who may drive the console: the holder of the access token printed at
// start (or of the cookie the page trades it for), through the console's
// own address (the Host header, against DNS rebinding), and, for anything
// that changes state, from the console's own page (the Origin header,
// against other pages in the same browser).
#pragma once

#include <string>

namespace kv::mmc {

class AccessGuard {
public:
    // A fresh random token.
    explicit AccessGuard(int port);
    AccessGuard(int port, std::string token);

    const std::string& Token() const { return m_token; }
    std::string CookieName() const;
    // The Set-Cookie value that trades the token for a session.
    std::string SessionCookie() const;

    bool HostAllowed(const std::string& hostHeader) const;
    bool OriginAllowed(const std::string& originHeader) const;
    // The token given in the query or in the cookie header.
    bool Authenticated(const std::string& queryToken, const std::string& cookieHeader) const;

private:
    bool Matches(const std::string& candidate) const;
    int m_port;
    std::string m_token;
};

// 32 random bytes as 64 hexadecimal digits, from the system's random source.
std::string RandomToken();

}  // namespace kv::mmc
