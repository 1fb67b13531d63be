// The record of each check the engine runs: one line when a check begins and
// one when it ends, appended to $KESTRAVA_ROOT/checks/Checks.log. It lets an
// operator (kvwait) learn that the checks requested so far have ended and
// how each one went, without reading the debug log. The file and its folder
// are readable by their owner only, like everything stored about files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::platform {

struct CheckOutcomeRecord {
    bool end = false;        // false: the check began
    std::string time;        // UTC, "2026-12-09T01:50:00.123Z"
    long processId = 0;      // the process that ran the check
    long job = 0;            // PROFILE_ID (end records)
    uint64_t items = 0;      // item rows captured
    uint64_t added = 0;      // items reported added, changed, removed
    uint64_t changed = 0;
    uint64_t removed = 0;
    uint32_t result = 0;     // CheckFiles' result code
    bool stopped = false;    // the stop flag was set when the check returned
};

std::string CheckOutcomeFile();

// The text of one record, without the line end.
std::string FormatCheckOutcome(const CheckOutcomeRecord& record);
// False for a line that is not a record (a torn or foreign line is skipped).
bool ParseCheckOutcome(const std::string& line, CheckOutcomeRecord& record);

// Appends one record, time and process id filled in here. The line goes out
// in one write on an O_APPEND descriptor, so a reader never sees half of it.
// False when it could not be written (the check itself goes on).
bool AppendCheckOutcome(CheckOutcomeRecord record);

// Every record in the file, oldest first; none when there is no file.
std::vector<CheckOutcomeRecord> ReadCheckOutcomes();

// True when the process that wrote a begin record is still running.
bool ProcessAlive(long processId);

}  // namespace kv::platform
