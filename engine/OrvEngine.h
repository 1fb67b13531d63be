// The exports of the scan engine library, resolved by name by the agent
// service.
#pragma once

#include "platform/win/WinTypes.h"

#define ORVENGINE_API extern "C" __attribute__((visibility("default")))

// One check of the next queued scan job: 0, 1 when the database could not be
// opened, E_FAIL after an unexpected error. stopFlag may be null: the check
// then never stops early.
ORVENGINE_API HRESULT CheckFiles(LONG* stopFlag);
// 0 when sockets of version 1.1 are available (started once per process);
// E_FAIL otherwise.
ORVENGINE_API HRESULT InitCore();
// 0; sockets stay started for the next check.
ORVENGINE_API HRESULT UnInit();
