// The program's command line: which role it plays, and the options of an
// installation. Switches are found anywhere in the lower-cased line, each
// only as a whole word, that is followed by a blank or by the end.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

#define COMMAND_LINE_CHARS 255
#define ACCOUNT_BUFFER_BYTES 100

enum class AgentCommand { Unregister, StopService, StartService, Install, Notice };

struct InstallOptions {
    BOOL noMessages = FALSE;
    char account[ACCOUNT_BUFFER_BYTES] = {};
    char password[ACCOUNT_BUFFER_BYTES] = {};
};

struct AgentCommandLine {
    std::string text;   // as given, at most 255 characters
    std::string lower;  // the same, lower-cased
    AgentCommand command = AgentCommand::Notice;
    InstallOptions options;
};

// The arguments after the program name, joined by blanks as the program's
// command line reads.
std::string CommandLineText(int argc, char** argv);

// Position of the first whole-word occurrence of a switch at or after from,
// or std::string::npos.
size_t FindSwitch(const std::string& lower, const char* name, size_t from = 0);

// The operator's help: the switches and what each does. Asked for with
// "--help" or "/?" as the first argument, it is printed before the program
// reads any setting, so asking never touches the machine.
const char* AgentUsage();

// Chooses the command: the first of "/unregserver", "-stopservice",
// "-startservice" and "/service" found decides; with "/service", the
// options after it.
AgentCommandLine ParseCommandLine(const std::string& text);
