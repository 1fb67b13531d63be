// The COM error that operations raise to their callers (as _com_issue_error
// does): an HRESULT, and for errors built from an error object, a source and
// a description.
#pragma once

#include <exception>
#include <string>

#include "platform/win/WinTypes.h"

class KvComError : public std::exception {
public:
    explicit KvComError(HRESULT hr, std::string source = std::string(),
                        std::string description = std::string())
        : m_hr(hr), m_source(std::move(source)), m_description(std::move(description)) {}
    HRESULT Error() const { return m_hr; }
    const std::string& Source() const { return m_source; }
    const std::string& Description() const { return m_description; }
    const char* what() const noexcept override { return m_description.c_str(); }

private:
    HRESULT m_hr;
    std::string m_source;
    std::string m_description;
};

[[noreturn]] inline void _com_issue_error(HRESULT hr) { throw KvComError(hr); }
