#include "launcher/ScanQueue.h"

namespace {

const char* const kWhiteSpace = " \t\r\n\v\f";

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

bool HoldsEntry(const std::string& queue, const std::string& job) {
    size_t start = 0;
    while (start < queue.size()) {
        size_t end = queue.find(';', start);
        if (end == std::string::npos) end = queue.size();
        if (Trim(queue.substr(start, end - start)) == job) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool IsScanJobArgument(const std::string& argument) {
    std::string job = Trim(argument);
    if (job.empty() || job.size() > 10) return false;
    unsigned long long value = 0;
    for (char c : job) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value >= 1 && value <= 2147483647ull;
}

QueueAppend AppendToQueue(const std::string& queue, const std::string& argument,
                          std::string& newQueue) {
    std::string candidate;
    if (queue.size() < 2) {
        candidate = argument + ";";
    } else {
        std::string job = Trim(argument);
        if (HoldsEntry(queue, job)) return QueueAppend::AlreadyQueued;
        candidate = queue + job + ";";
    }
    if (candidate.size() > SCAN_QUEUE_MAX_CHARS) return QueueAppend::Full;
    newQueue = candidate;
    return QueueAppend::Appended;
}
