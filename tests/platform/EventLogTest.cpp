// The event log: records in the log file, their JSON, concurrent writers,
// the message file and kvevent.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <ctime>
#include <thread>

#include "platform/eventlog/EventLog.h"
#include "platform/eventlog/EventRecord.h"
#include "platform/eventlog/MessageFile.h"
#include "platform/library/Library.h"
#include "platform/registry/Registry.h"
#include "platform/win/LastError.h"
#include "tests/fixtures/TestRoot.h"

using namespace kv::platform;

namespace {

constexpr DWORD kChanged = 0x41001F40;
constexpr DWORD kAdded = 0x41001770;
constexpr DWORD kRemoved = 0x41000FA0;

// Registers a source with a language library of the build as its message
// file, the library named in Windows form through drive D:.
void RegisterSource(const kvtest::TestRoot& root, const std::string& source, const std::string& library) {
    root.MapDrive('d', KV_BIN_DIR);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, EventSourceKey("Application", source).c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::string file = "D:\\" + library + ".dll";
    for (const char* name : {"EventMessageFile", "CategoryMessageFile"})
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                       static_cast<DWORD>(file.size() + 1));
    DWORD count = 3, types = 7;
    RegSetValueExA(key, "CategoryCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), 4);
    RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), 4);
    RegCloseKey(key);
}

BOOL Report(const char* source, WORD category, DWORD id, const std::vector<std::string>& strings) {
    HANDLE log = RegisterEventSourceA(nullptr, source);
    if (log == nullptr) return FALSE;
    std::vector<LPCSTR> pointers;
    for (const std::string& s : strings) pointers.push_back(s.c_str());
    BOOL ok = ReportEventA(log, EVENTLOG_INFORMATION_TYPE, category, id, nullptr,
                           static_cast<WORD>(pointers.size()), 0, pointers.data(), nullptr);
    DeregisterEventSource(log);
    return ok;
}

std::vector<std::string> AddedStrings(const std::string& incident, const std::string& name) {
    return {incident, name, name, "C:\\", "HOST\\root", "12/01/26", "10:00:00", "12/02/26", "11:00:00", "",
            "12/03/26", "12:00:00", "", "4096"};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(EventLog, RecordsAreKeptExactlyAsReported) {
    kvtest::TestRoot root;
    std::vector<std::string> strings;
    for (int i = 0; i < 25; ++i) strings.push_back(i % 5 == 4 ? "" : "s" + std::to_string(i));
    ASSERT_TRUE(Report("Tsl", 1, kChanged, strings));
    ASSERT_TRUE(Report("Tsl", 3, kRemoved, AddedStrings("2", "x.dll")));

    std::vector<std::string> lines;
    std::vector<EventRecord> records = ReadEventLog(&lines);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].source, "Tsl");
    EXPECT_EQ(records[0].type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(records[0].category, 1);
    EXPECT_EQ(records[0].eventId, kChanged);
    EXPECT_EQ(records[0].strings, strings);
    EXPECT_TRUE(records[0].data.empty());
    EXPECT_EQ(records[1].eventId, kRemoved);
    EXPECT_EQ(records[1].strings, AddedStrings("2", "x.dll"));
    EXPECT_NE(lines[0].find("\"event_id\":1090527040"), std::string::npos);
    EXPECT_NE(lines[0].find("\"type\":4,\"category\":1"), std::string::npos);
    EXPECT_EQ(kvtest::ReadTextFile(EventLogFile()), lines[0] + "\n" + lines[1] + "\n");
}

// The records name files in private folders: the log is its owner's alone,
// and a link planted in its place is refused, not written through.
TEST(EventLog, TheLogIsPrivateAndNeverWrittenThroughALink) {
    kvtest::TestRoot root;
    ASSERT_TRUE(Report("Tsl", 1, kChanged, AddedStrings("1", "a.txt")));
    struct stat status {};
    ASSERT_EQ(::stat(EventLogFile().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    const std::string elsewhere = root.Path() + "/elsewhere.txt";
    { std::ofstream(elsewhere) << "kept\n"; }
    std::filesystem::remove(EventLogFile());
    std::filesystem::create_symlink(elsewhere, EventLogFile());
    EXPECT_FALSE(Report("Tsl", 1, kChanged, AddedStrings("2", "b.txt")));
    EXPECT_EQ(kvtest::ReadTextFile(elsewhere), "kept\n");
}

TEST(EventLog, StringsAreEscapedForJsonAndReadBackByteForByte) {
    kvtest::TestRoot root;
    std::vector<std::string> strings = {"say \"hi\"", "C:\\Windows\\", "two\nlines\r\n", "tab\there\x01\x7f",
                                        "Größe 😀", std::string("bad \xff\xc3 utf8 \xed\xa0\x80"), ""};
    ASSERT_TRUE(Report("Tsl", 2, kAdded, strings));
    std::vector<std::string> lines;
    std::vector<EventRecord> records = ReadEventLog(&lines);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].strings, strings);
    const std::string& line = lines[0];
    EXPECT_NE(line.find(R"("say \"hi\"")"), std::string::npos);
    EXPECT_NE(line.find(R"("C:\\Windows\\")"), std::string::npos);
    EXPECT_NE(line.find(R"("two\nlines\r\n")"), std::string::npos);
    EXPECT_NE(line.find(R"("tab\there\u0001\u007f")"), std::string::npos);
    EXPECT_NE(line.find("\"Größe 😀\""), std::string::npos);  // UTF-8 stays as it is
    EXPECT_NE(line.find(R"("bad \udcff\udcc3 utf8 \udced\udca0\udc80")"), std::string::npos);

    // Any JSON reader takes the line; the bytes come back through the escape.
    std::string script =
        "import json,sys\n"
        "r=json.loads(open(sys.argv[1],encoding='utf-8').readline())\n"
        "print(' '.join(s.encode('utf-8','surrogateescape').hex() for s in r['strings']))\n";
    kvtest::ProcessResult python =
        kvtest::RunProgram("/usr/bin/python3", {"-c", script, EventLogFile()});
    ASSERT_EQ(python.exitCode, 0) << python.err;
    std::string expected;
    for (const std::string& s : strings) {
        char hex[3];
        if (!expected.empty()) expected += " ";
        for (unsigned char c : s) {
            std::snprintf(hex, sizeof hex, "%02x", c);
            expected += hex;
        }
    }
    EXPECT_EQ(python.out, expected + "\n");
}

TEST(EventLog, ConcurrentWritersLeaveWholeLines) {
    kvtest::TestRoot root;
    constexpr int kProcesses = 4, kThreads = 4, kEach = 150;
    // Long records, so that a torn write would show.
    auto write = [](int writer) {
        for (int i = 0; i < kEach; ++i)
            Report("Tsl", 2, kAdded, {std::to_string(writer), std::to_string(i), std::string(3000, 'a' + writer % 26)});
    };
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            write(p);
            ::_exit(0);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(write, kProcesses + t);
    for (auto& t : threads) t.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::vector<std::string> lines = Lines(kvtest::ReadTextFile(EventLogFile()));
    ASSERT_EQ(lines.size(), static_cast<size_t>((kProcesses + kThreads) * kEach));
    std::vector<int> next(kProcesses + kThreads, 0);
    for (const std::string& line : lines) {
        EventRecord record;
        ASSERT_TRUE(EventRecordFromJson(line, record)) << line.substr(0, 200);
        ASSERT_EQ(record.strings.size(), 3u);
        int writer = std::stoi(record.strings[0]);
        // Each writer's records are in its own order.
        EXPECT_EQ(std::stoi(record.strings[1]), next[writer]++);
        EXPECT_EQ(record.strings[2], std::string(3000, 'a' + writer % 26));
    }
}

TEST(EventLog, MessagesAreRenderedFromTheRegisteredMessageFile) {
    kvtest::TestRoot root;
    RegisterSource(root, "Tsl", "OrvRes409");
    EventMessageSource tsl("Tsl");
    ASSERT_TRUE(tsl.Registered());
    EXPECT_EQ(tsl.Category(1), "Item changed");
    EXPECT_EQ(tsl.Category(2), "Item added");
    EXPECT_EQ(tsl.Category(3), "Item removed");
    EXPECT_EQ(tsl.Category(0), "None");
    EXPECT_EQ(tsl.Category(9), "(9)");
    EXPECT_EQ(tsl.Message(kAdded, AddedStrings("7", "x.dll")),
              "Incident 7: the item x.dll was added to the folder C:\\.\n"
              "Size 4096 bytes, owner HOST\\root, created 12/01/26 10:00:00, last written 12/02/26 11:00:00, "
              "last accessed 12/03/26 12:00:00.");
    std::vector<std::string> changed;
    for (int i = 0; i < 25; ++i) changed.push_back("<" + std::to_string(i) + ">");
    std::string text = tsl.Message(kChanged, changed);
    EXPECT_EQ(text.rfind("Incident <0>: the item <1> in the folder <3> has changed.\n", 0), 0u) << text;
    EXPECT_NE(text.find("Size difference: <24> bytes."), std::string::npos);
    EXPECT_EQ(text.find('%'), std::string::npos);
    // Too few strings: the missing inserts stay visible.
    EXPECT_EQ(tsl.Message(kRemoved, {"1", "a"}).rfind("Incident 1: the item a was removed from the folder %4.", 0),
              0u);

    // The other language's library carries the same records.
    RegisterSource(root, "TslDe", "OrvRes407");
    EventMessageSource german("TslDe");
    EXPECT_EQ(german.Category(2), "Element hinzugefügt");
    EXPECT_EQ(german.Message(kAdded, AddedStrings("7", "x.dll")).rfind("Vorfall 7: Das Element x.dll wurde", 0), 0u);
}

TEST(EventLog, FormatMessageFromModulesAndStrings) {
    kvtest::TestRoot root;
    root.MapDrive('d', KV_BIN_DIR);
    char buffer[256];
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>("disk"), 5, reinterpret_cast<DWORD_PTR>("x")};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             "%1 has %2!d! items%n100%% %3!-3s!|%0 cut", 0, 0, buffer, sizeof buffer,
                             reinterpret_cast<va_list*>(args));
    EXPECT_EQ(std::string(buffer, n), "disk has 5 items\r\n100% x  |");
    n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, "%1 and %2!d!", 0, 0, buffer,
                       sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "%1 and %2!d!");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1!n!", 0, 0, buffer,
                             sizeof buffer, reinterpret_cast<va_list*>(args)),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HMODULE module = LoadLibraryA("D:\\OrvRes409.dll");
    ASSERT_NE(module, nullptr);
    n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, 2, 0, buffer,
                       sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "Item added");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, 4, 0, buffer,
                             sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, kAdded, 0, buffer,
                             10, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    FreeLibrary(module);
}

TEST(EventLog, HandlesAndParametersAreChecked) {
    kvtest::TestRoot root;
    LPCSTR one[] = {"a"};
    EXPECT_FALSE(ReportEventA(nullptr, EVENTLOG_INFORMATION_TYPE, 1, kAdded, nullptr, 1, 0, one, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegisterEventSourceA("\\\\ELSEWHERE", "Tsl"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(RegisterEventSourceA(nullptr, ""), nullptr);

    HANDLE log = RegisterEventSourceA("", "Tsl");
    ASSERT_NE(log, nullptr);
    EXPECT_FALSE(ReportEventA(log, EVENTLOG_INFORMATION_TYPE, 1, kAdded, nullptr, 2, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    char data[] = {0x00, 0x7f, static_cast<char>(0xff)};
    EXPECT_TRUE(ReportEventA(log, EVENTLOG_WARNING_TYPE, 0, 5, nullptr, 1, 3, one, data));
    EXPECT_TRUE(DeregisterEventSource(log));
    EXPECT_FALSE(DeregisterEventSource(log));
    EXPECT_FALSE(ReportEventA(log, EVENTLOG_INFORMATION_TYPE, 1, kAdded, nullptr, 1, 0, one, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    std::vector<EventRecord> records = ReadEventLog();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].type, EVENTLOG_WARNING_TYPE);
    EXPECT_EQ(records[0].data, std::string(data, 3));
}

TEST(EventLog, SyslogGetsTheSourceAsIdentityAndTheRenderedText) {
    kvtest::TestRoot root;
    RegisterSource(root, "Tsl", "OrvRes409");
    std::string path = root.Path() + "/log.sock";
    int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::setenv("KESTRAVA_SYSLOG_SOCKET", path.c_str(), 1);
    BOOL ok = Report("Tsl", 2, kAdded, AddedStrings("3", "x.dll"));
    ::unsetenv("KESTRAVA_SYSLOG_SOCKET");
    ASSERT_TRUE(ok);
    char buffer[4096];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    ::close(fd);
    ASSERT_GT(n, 0);
    std::string message(buffer, static_cast<size_t>(n));
    EXPECT_EQ(message.rfind("<14>", 0), 0u) << message;  // user facility, information
    std::string tail = "Tsl[" + std::to_string(::getpid()) + "]: Incident 3: the item x.dll was added to the folder C:\\.";
    EXPECT_NE(message.find(tail), std::string::npos) << message;
}

TEST(EventLog, KveventPrintsRecordsAsTextAndJson) {
    kvtest::TestRoot root;
    RegisterSource(root, "Tsl", "OrvRes409");
    ASSERT_TRUE(Report("Tsl", 2, kAdded, AddedStrings("1", "x.dll")));
    ASSERT_TRUE(Report("Other", 1, kChanged, {"a", "b"}));
    ASSERT_TRUE(Report("Tsl", 3, kRemoved, AddedStrings("2", "y.sys")));
    std::string kvevent = kvtest::BinPath("kvevent");

    kvtest::ProcessResult text = kvtest::RunProgram(kvevent, {}, {"TZ=UTC"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    std::vector<std::string> lines = Lines(text.out);
    ASSERT_EQ(lines.size(), 11u) << text.out;
    tm when{};
    const char* end = ::strptime(lines[0].c_str(), "%Y-%m-%d %H:%M:%S", &when);
    ASSERT_TRUE(end != nullptr) << lines[0];
    EXPECT_EQ(std::string(end), "  Tsl  Information  Item added  6000");
    EXPECT_EQ(lines[1], "Incident 1: the item x.dll was added to the folder C:\\.");
    EXPECT_EQ(lines[3], "");
    // A source without registration still shows its record and strings.
    EXPECT_NE(lines[4].find("  Other  Information  (1)  8000"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[5],
              "No description is available for event ID 8000 of source \"Other\": the source is not registered "
              "on this computer. The record holds these insertion strings: a, b");
    EXPECT_NE(lines[7].find("  Tsl  Information  Item removed  4000"), std::string::npos);

    kvtest::ProcessResult json = kvtest::RunProgram(kvevent, {"--json"});
    EXPECT_EQ(json.out, kvtest::ReadTextFile(EventLogFile()));
    kvtest::ProcessResult last = kvtest::RunProgram(kvevent, {"--json", "--source", "tsl", "--last", "1"});
    std::vector<std::string> lastLines = Lines(last.out);
    ASSERT_EQ(lastLines.size(), 1u);
    EventRecord record;
    ASSERT_TRUE(EventRecordFromJson(lastLines[0], record));
    EXPECT_EQ(record.strings[0], "2");
    EXPECT_EQ(kvtest::RunProgram(kvevent, {"--last", "x"}).exitCode, 1);
    EXPECT_EQ(kvtest::RunProgram(kvevent, {"--bogus"}).exitCode, 1);
}

TEST(EventLog, KveventWithoutALogPrintsNothing) {
    kvtest::TestRoot root;
    kvtest::ProcessResult result = kvtest::RunProgram(kvtest::BinPath("kvevent"), {});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
}

TEST(EventLog, TheInstallationRegistersTheSource) {
    kvtest::TestRoot root;
    std::vector<std::string> env = {"KESTRAVA_BIN=" + std::string(KV_BIN_DIR), "KESTRAVA_DRIVE_C=/"};
    std::string script = std::string(KV_SOURCE_DIR) + "/scripts/install.sh";
    std::filesystem::remove(root.Path() + "/dosdevices/c:");
    for (int run = 0; run < 2; ++run) {
        kvtest::ProcessResult install = kvtest::RunProgram("/bin/bash", {script}, env);
        ASSERT_EQ(install.exitCode, 0) << install.err;
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, EventSourceKey("Application", "Tsl").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char file[512] = {};
    DWORD size = sizeof file - 1, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "EventMessageFile", nullptr, &type, reinterpret_cast<LPBYTE>(file), &size),
              ERROR_SUCCESS);
    DWORD count = 0;
    size = 4;
    ASSERT_EQ(RegQueryValueExA(key, "CategoryCount", nullptr, &type, reinterpret_cast<LPBYTE>(&count), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(count, 3u);
    std::string expected = "C:" + root.Path() + "/Tsl3/OrvRes409.dll";
    for (char& c : expected)
        if (c == '/') c = '\\';
    EXPECT_EQ(std::string(file), expected);
    EventMessageSource tsl("Tsl");
    EXPECT_EQ(tsl.Category(3), "Item removed");
    EXPECT_EQ(tsl.Message(kRemoved, AddedStrings("9", "z")).rfind("Incident 9: the item z was removed", 0), 0u);
}

}  // namespace
