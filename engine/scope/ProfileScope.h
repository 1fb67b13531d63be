// Loading the scope and the mail settings of the current scan job from the
// database.
#pragma once

#include "platform/win/WinTypes.h"

// Fills the C list and the O list from FILES_PROFILES_LNK.
void InitProfiles();

// S_OK when the job's row was read (mail settings and old extension list
// loaded), S_FALSE when the job has no row, E_FAIL on failure.
HRESULT IsCurrentProfileEnabled();
