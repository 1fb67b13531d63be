// The help request every operator program answers before it looks at any
// state: "--help", "-h", "/?" or "-?" as the first argument. Only the first:
// a later argument may be data ("kvreg add ... /d --help") that must be
// written as given.
#pragma once

namespace kv::platform {

bool IsHelpArgument(const char* argument);
// True when the first argument after the program name asks for help.
bool HelpRequested(int argc, char** argv);

}  // namespace kv::platform
