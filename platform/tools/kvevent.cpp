// kvevent: the operator tool for the event log, in the manner of the event
// viewer.
//   kvevent [--source S] [--json] [--last N]
// Prints the records of the Application log, oldest first: in text form the
// local time, source, type, category and event id on one line and the
// record's message text below it, from the source's message file; with
// --json the records' lines as they are stored.
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/cli/HelpSwitch.h"
#include "platform/eventlog/EventRecord.h"
#include "platform/eventlog/MessageFile.h"
#include "platform/root/MachineRoot.h"

using namespace kv::platform;

namespace {

void PrintUsage(FILE* to) {
    std::fprintf(to,
                 "usage: kvevent [--source S] [--json] [--last N]\n"
                 "Prints the records of the Application event log under the machine root\n"
                 "$KESTRAVA_ROOT (default /var/lib/kestrava), oldest first.\n"
                 "  --source S  only the records of the event source S\n"
                 "  --json      the records as stored, one JSON object per line\n"
                 "  --last N    only the last N records\n");
}

int Usage() {
    PrintUsage(stderr);
    return 1;
}

// "2026-12-08T16:15:40.123Z" as local "2026-12-08 17:15:40".
std::string LocalTime(const std::string& utc) {
    tm parts{};
    if (std::sscanf(utc.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                    &parts.tm_hour, &parts.tm_min, &parts.tm_sec) != 6)
        return utc;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    time_t when = ::timegm(&parts);
    tm local{};
    ::localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (kv::platform::HelpRequested(argc, argv)) {
        PrintUsage(stdout);
        return 0;
    }
    std::string source;
    bool json = false;
    bool haveLast = false;
    size_t last = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--source" && i + 1 < argc) {
            source = argv[++i];
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--last" && i + 1 < argc) {
            std::string text = argv[++i];
            char* end = nullptr;
            errno = 0;
            unsigned long long n = std::strtoull(text.c_str(), &end, 10);
            if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0) {
                std::fprintf(stderr, "kvevent: --last needs a number of records, not \"%s\"\n", text.c_str());
                return 1;
            }
            haveLast = true;
            last = static_cast<size_t>(n);
        } else {
            return Usage();
        }
    }

    if (!kv::platform::RequireMachineRoot("kvevent")) return 1;
    std::vector<std::string> lines;
    std::vector<EventRecord> records = ReadEventLog(&lines);
    std::vector<size_t> chosen;
    for (size_t i = 0; i < records.size(); ++i)
        if (source.empty() || strcasecmp(records[i].source.c_str(), source.c_str()) == 0) chosen.push_back(i);
    if (haveLast && chosen.size() > last) chosen.erase(chosen.begin(), chosen.end() - static_cast<long>(last));

    // The message files of each source are loaded once, as the viewer does.
    std::map<std::string, std::unique_ptr<EventMessageSource>> sources;
    for (size_t i : chosen) {
        if (json) {
            std::printf("%s\n", lines[i].c_str());
            continue;
        }
        const EventRecord& record = records[i];
        auto& messages = sources[record.source];
        if (!messages) messages = std::make_unique<EventMessageSource>(record.source);
        std::printf("%s  %s  %s  %s  %u\n%s\n\n", LocalTime(record.time).c_str(), record.source.c_str(),
                    EventTypeName(record.type), messages->Category(record.category).c_str(),
                    static_cast<unsigned>(record.eventId & 0xFFFF),
                    messages->Message(record.eventId, record.strings).c_str());
    }
    return 0;
}
