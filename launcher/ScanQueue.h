// The scan-job queue SPROFILES as the launcher extends it: entries of an
// identifier followed by ";", at most 519 characters in all.
#pragma once

#include <string>

#define SCAN_QUEUE_MAX_CHARS 519

enum class QueueAppend {
    Appended,       // newQueue holds the queue with the job at its end
    AlreadyQueued,  // the job is an entry of the queue already
    Full,           // the entry would pass the queue's length; nothing changes
};

// True for a scan job identifier: decimal digits naming 1 to 2^31-1, with
// blanks around them allowed.
bool IsScanJobArgument(const std::string& argument);

// A queue shorter than 2 characters is empty and becomes the argument as it
// is, followed by ";". Otherwise the argument is trimmed and compared with
// each whole entry (trimmed too), so job 7 is still queued behind 17.
QueueAppend AppendToQueue(const std::string& queue, const std::string& argument,
                          std::string& newQueue);
