// The poll loop's wait: it sleeps until the stop event is signalled or
// something under the settings key changes, instead of waking every
// millisecond to find nothing new. Arm() comes before each read of the
// settings, so a change made while they are read, or while a check runs,
// ends the next wait at once.
#pragma once

#include "platform/registry/Registry.h"
#include "platform/win/WinTypes.h"

class CSettingsChangeWait {
public:
    CSettingsChangeWait();
    ~CSettingsChangeWait();
    CSettingsChangeWait(const CSettingsChangeWait&) = delete;
    CSettingsChangeWait& operator=(const CSettingsChangeWait&) = delete;

    // Watches the settings key for the next change; while the key is
    // missing, the nearest key above it that exists, for the key's coming
    // back. Where no watch can be had, the next wait is the 1 ms poll.
    void Arm();
    // True when the stop event ended the wait.
    bool WaitForStop(HANDLE stopEvent);

private:
    bool ArmDeepestKey();
    void CloseKey();

    HANDLE m_hChanged = nullptr;
    HKEY m_hKey = nullptr;
    bool m_bArmed = false;
    bool m_bFailureLogged = false;
};
