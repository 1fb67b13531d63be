// Kernel object handles (files, events, ...) share CloseHandle: each kind of
// object derives from KvHandle and releases its resource in its destructor.
#pragma once

#include "platform/win/WinTypes.h"

struct KvHandle {
    virtual ~KvHandle() = default;
};

BOOL CloseHandle(HANDLE handle);
