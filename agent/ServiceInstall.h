// Installation and removal of the service, the notice shown without a known
// switch, and the installation outcome kept under the settings key
// (LastErrorCode, LastErrorMessage) for an installer running silently.
#pragma once

#include "agent/CommandLine.h"
#include "platform/win/WinTypes.h"

// The service can be opened for configuration query.
bool IsInstalled();

// "/service": removes any installed service, registers the application
// identifier and creates the service. The process result: 0 installed,
// 1 not, or COM's initialisation error.
int InstallService(const InstallOptions& options);

// "/unregserver": the application registration, then the service. 0, or
// COM's initialisation error.
int UnregisterService();

// Stops and deletes an installed service; failures are shown whatever the
// no-messages flag says.
void RemoveService();

// No known switch: text 10005 when the service is installed, else 10003.
int ShowNotice(const InstallOptions& options);

// The string id shown for a Windows error of the service creation;
// LastErrorCode is that id less 10000.
UINT CreateErrorTextId(DWORD error);
