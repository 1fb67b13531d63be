#include "agent/CommandLine.h"

#include <cstring>

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The text after an option such as "/u:" up to the next blank or the end,
// from the line as given so that its letter case survives; cut to fit the
// buffer.
void CopyOptionValue(const AgentCommandLine& line, const char* option, size_t from, char* value) {
    size_t at = line.lower.find(option, from);
    if (at == std::string::npos) return;
    size_t start = at + std::strlen(option);
    size_t end = line.text.find(' ', start);
    if (end == std::string::npos) end = line.text.size();
    std::string text = line.text.substr(start, end - start).substr(0, ACCOUNT_BUFFER_BYTES - 1);
    std::memcpy(value, text.c_str(), text.size() + 1);
}

}  // namespace

const char* AgentUsage() {
    return "usage: KvAgent /service [/nm] [/u:ACCOUNT] [/p:PASSWORD]\n"
           "       KvAgent /unregserver | -startservice | -stopservice\n"
           "The agent service program: it runs the checks of scan jobs that KvLaunch requests.\n"
           "  /service       install the agent service (automatic start), replacing an installed one;\n"
           "                 /nm: no message boxes, the outcome goes to LastErrorCode and\n"
           "                 LastErrorMessage under the settings key; /u: and /p: the account\n"
           "  /unregserver   stop and remove the service and its application registration\n"
           "  -startservice  run as the service when the service manager starts the program;\n"
           "                 typed at a prompt, ask the service manager to start the service\n"
           "  -stopservice   ask the service manager to stop the service\n"
           "Without a switch, says whether the service is installed. Machine state lies under\n"
           "$KESTRAVA_ROOT (default /var/lib/kestrava).\n";
}

std::string CommandLineText(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

size_t FindSwitch(const std::string& lower, const char* name, size_t from) {
    size_t length = std::strlen(name);
    for (size_t at = lower.find(name, from); at != std::string::npos; at = lower.find(name, at + 1)) {
        size_t end = at + length;
        if (end == lower.size() || lower[end] == ' ') return at;
    }
    return std::string::npos;
}

AgentCommandLine ParseCommandLine(const std::string& text) {
    AgentCommandLine line;
    line.text = text.substr(0, COMMAND_LINE_CHARS);
    line.lower = line.text;
    for (char& c : line.lower) c = LowerAscii(c);
    if (line.lower.find_first_of("-/") == std::string::npos) return line;

    if (FindSwitch(line.lower, "/unregserver") != std::string::npos) {
        line.command = AgentCommand::Unregister;
    } else if (FindSwitch(line.lower, "-stopservice") != std::string::npos) {
        line.command = AgentCommand::StopService;
    } else if (FindSwitch(line.lower, "-startservice") != std::string::npos) {
        line.command = AgentCommand::StartService;
    } else if (size_t at = FindSwitch(line.lower, "/service"); at != std::string::npos) {
        line.command = AgentCommand::Install;
        size_t after = at + std::strlen("/service");
        if (FindSwitch(line.lower, "/nm", after) != std::string::npos) line.options.noMessages = TRUE;
        CopyOptionValue(line, "/u:", after, line.options.account);
        CopyOptionValue(line, "/p:", after, line.options.password);
    }
    return line;
}
