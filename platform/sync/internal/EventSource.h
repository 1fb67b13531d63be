// What signals an event besides SetEvent from another thread. A component
// that sets events from a descriptor it reads (the registry's change
// notifications) attaches itself to those events; a thread that waits on
// one then also waits on the descriptor and, when it is readable, does the
// reading itself, so the event is set on the waiting thread instead of
// reaching it through a second one. Whoever reads first sets the events:
// the component's own reader stays for events nobody waits on.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "event internals are not for use outside platform/"
#endif

#include "platform/win/WinTypes.h"

namespace kv::platform::sync {

struct EventSource {
    int fd;  // readable when pump has something to do
    // Reads what is there without blocking and sets the events it concerns;
    // false once the source will never set an event again.
    bool (*pump)(void* context);
    void* context;
};

// The source must live as long as the process; an event has at most one,
// and a second attach keeps the first. False for a handle that is not an event.
bool AttachEventSource(HANDLE event, const EventSource* source);

}  // namespace kv::platform::sync
