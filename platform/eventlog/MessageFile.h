// Message files: FormatMessage over the message tables that libraries carry,
// and the registration of an event source's message files under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\<log>\<source>
// (EventMessageFile, CategoryMessageFile: Windows paths of libraries, several
// separated by ";"; CategoryCount; TypesSupported).
//
// Message texts hold inserts %1 ... %99 (%1 is the first argument), optionally
// with a printf conversion as %1!s! or %2!d!, and the escapes %% %n (CR LF)
// %r %t %b (blank) %. %! and %0 (end of the message).
#pragma once

#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

typedef const void* LPCVOID;
typedef uintptr_t DWORD_PTR;

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

#ifndef ERROR_MR_MID_NOT_FOUND
#define ERROR_MR_MID_NOT_FOUND 317L
#endif
#ifndef ERROR_RESOURCE_TYPE_NOT_FOUND
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#endif

// The subset the system needs: a message from a module's message table or
// from a string, with inserts taken from an argument array (strings for
// "!s!" and plain inserts, numbers for numeric conversions) or left as they
// stand under FORMAT_MESSAGE_IGNORE_INSERTS. A width of
// FORMAT_MESSAGE_MAX_WIDTH_MASK turns the text's own line ends into blanks.
// FORMAT_MESSAGE_FROM_SYSTEM gives the texts of the errors the file and
// registry stand-ins report (others fail with ERROR_MR_MID_NOT_FOUND). va_list
// arguments and FORMAT_MESSAGE_ALLOCATE_BUFFER are not supported
// (ERROR_INVALID_PARAMETER). Returns the length written, 0 on
// failure (ERROR_MR_MID_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND,
// ERROR_INSUFFICIENT_BUFFER).
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* arguments);

namespace kv::platform {

// The text of a message id in a module's message table; null when absent.
const char* FindMessageText(HMODULE module, DWORD messageId);

// Fills the inserts of a message text with strings; an insert beyond the
// strings given stays in the text as it stands ("%7"), as the event viewer
// shows it.
std::string FormatInserts(const std::string& text, const std::vector<std::string>& strings);

// The registry key of an event source.
std::string EventSourceKey(const std::string& log, const std::string& source);

// The message files of one event source, as registered when the object was
// made. The files are loaded once per process and stay loaded.
class EventMessageSource {
public:
    explicit EventMessageSource(const std::string& source, const std::string& log = "Application");
    ~EventMessageSource();
    EventMessageSource(const EventMessageSource&) = delete;
    EventMessageSource& operator=(const EventMessageSource&) = delete;

    bool Registered() const { return m_registered; }
    // The record's text; when the source or its message is missing, a text
    // that says so and lists the insertion strings.
    std::string Message(DWORD eventId, const std::vector<std::string>& strings) const;
    // The category's name: "None" for 0, "(n)" when it has no text.
    std::string Category(WORD category) const;

private:
    const char* Find(const std::vector<HMODULE>& modules, DWORD id) const;

    std::string m_source;
    bool m_registered = false;
    std::vector<HMODULE> m_eventModules;
    std::vector<HMODULE> m_categoryModules;
};

}  // namespace kv::platform
