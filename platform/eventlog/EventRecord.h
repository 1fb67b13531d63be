// One record of the event log and its form in the log file: a JSON object on
// one line,
//   {"time":"2026-12-08T16:15:40.123Z","computer":"HOST","source":"Tsl",
//    "type":4,"category":1,"event_id":1090527040,"strings":["1","x.dll",...]}
// with "data" (hexadecimal) only when the record carries binary data. The
// strings are kept byte for byte: valid UTF-8 stays as it is, and a byte that
// is not part of valid UTF-8 is written as the escape \udcXX, which reads back
// as that byte.
#pragma once

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace kv::platform {

struct EventRecord {
    std::string time;  // UTC, ISO 8601 with milliseconds
    std::string computer;
    std::string source;
    WORD type = 0;
    WORD category = 0;
    DWORD eventId = 0;
    std::vector<std::string> strings;
    std::string data;  // raw bytes
};

// The log file of the Application log.
std::string EventLogFile();

// The JSON line of a record, without the line end.
std::string EventRecordToJson(const EventRecord& record);
// False for a line that is not a record (such as a torn last line).
bool EventRecordFromJson(const std::string& line, EventRecord& record);

// A JSON string literal of the bytes, quotes included (the escaping above).
std::string JsonQuote(const std::string& bytes);

// Every record of the log file in order, and the raw lines they came from.
// Lines that are not records are left out.
std::vector<EventRecord> ReadEventLog(std::vector<std::string>* lines = nullptr);

// The name of an event type as the event viewer shows it ("Information").
const char* EventTypeName(WORD type);

}  // namespace kv::platform
