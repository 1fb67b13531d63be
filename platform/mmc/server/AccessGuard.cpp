#include "platform/mmc/server/AccessGuard.h"

#include <sys/random.h>

#include <stdexcept>

namespace kv::mmc {

std::string RandomToken() {
    unsigned char bytes[32];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) throw std::runtime_error("no random source for the access token");
        got += static_cast<size_t>(n);
    }
    static const char digits[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token.push_back(digits[b >> 4]);
        token.push_back(digits[b & 15]);
    }
    return token;
}

AccessGuard::AccessGuard(int port) : AccessGuard(port, RandomToken()) {}
AccessGuard::AccessGuard(int port, std::string token) : m_port(port), m_token(std::move(token)) {}

// Cookies do not tell ports apart: each console names its own.
std::string AccessGuard::CookieName() const { return "kvmmc-" + std::to_string(m_port); }

std::string AccessGuard::SessionCookie() const {
    return CookieName() + "=" + m_token + "; Path=/; HttpOnly; SameSite=Strict";
}

bool AccessGuard::HostAllowed(const std::string& host) const {
    std::string port = ":" + std::to_string(m_port);
    return host == "127.0.0.1" + port || host == "localhost" + port;
}

bool AccessGuard::OriginAllowed(const std::string& origin) const {
    std::string port = ":" + std::to_string(m_port);
    return origin == "http://127.0.0.1" + port || origin == "http://localhost" + port;
}

bool AccessGuard::Matches(const std::string& candidate) const {
    // Compared in constant time, so the answer's timing tells nothing.
    if (candidate.size() != m_token.size()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < candidate.size(); ++i)
        difference |= static_cast<unsigned char>(candidate[i] ^ m_token[i]);
    return difference == 0;
}

bool AccessGuard::Authenticated(const std::string& queryToken, const std::string& cookieHeader) const {
    if (!queryToken.empty() && Matches(queryToken)) return true;
    std::string name = CookieName() + "=";
    size_t at = 0;
    while (at < cookieHeader.size()) {
        size_t end = cookieHeader.find(';', at);
        if (end == std::string::npos) end = cookieHeader.size();
        size_t start = cookieHeader.find_first_not_of(' ', at);
        if (start != std::string::npos && start < end && cookieHeader.compare(start, name.size(), name) == 0 &&
            Matches(cookieHeader.substr(start + name.size(), end - start - name.size())))
            return true;
        at = end + 1;
    }
    return false;
}

}  // namespace kv::mmc
