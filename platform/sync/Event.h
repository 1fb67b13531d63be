// Event objects and waiting on them: CreateEventA, SetEvent, ResetEvent and
// WaitForSingleObject. An event is a kernel object (CloseHandle releases it)
// whose signalled state lives in the kernel, so the threads that set and
// wait on it share no memory of their own.
#pragma once

#include "platform/win/Handle.h"
#include "platform/win/WinTypes.h"

#ifndef INFINITE
#define INFINITE 0xFFFFFFFFu
#endif
#ifndef WAIT_OBJECT_0
#define WAIT_OBJECT_0 0x00000000u
#endif
#ifndef WAIT_TIMEOUT
#define WAIT_TIMEOUT 0x00000102u
#endif
#ifndef WAIT_FAILED
#define WAIT_FAILED 0xFFFFFFFFu
#endif

// A manual-reset event stays signalled until ResetEvent; an auto-reset event
// releases one wait and is then non-signalled again. Names are not supported:
// a named event fails with ERROR_INVALID_PARAMETER.
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

#ifndef MAXIMUM_WAIT_OBJECTS
#define MAXIMUM_WAIT_OBJECTS 64u
#endif

// Waits for the event at most the given milliseconds (INFINITE: no limit).
// WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT, or WAIT_FAILED with the last
// error set (ERROR_INVALID_HANDLE for a handle that is not an event).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// Waits until any of the events is signalled: WAIT_OBJECT_0 plus the lowest
// index among those signalled, WAIT_TIMEOUT, or WAIT_FAILED. Waiting for all
// of them at once is not supported (ERROR_INVALID_PARAMETER): nothing here
// needs it, and auto-reset events could not be taken together atomically.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
