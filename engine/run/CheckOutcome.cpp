#include "engine/run/CheckOutcome.h"

#include <atomic>

#include "engine/EngineState.h"
#include "engine/alert/AlertEvent.h"
#include "platform/outcome/CheckOutcome.h"

namespace {

// Written only on the thread that runs the check; atomics because a check
// may one day be read out while it runs.
std::atomic<uint64_t> g_items{0};
std::atomic<uint64_t> g_added{0};
std::atomic<uint64_t> g_changed{0};
std::atomic<uint64_t> g_removed{0};

}  // namespace

void CountCapturedItem() { g_items.fetch_add(1, std::memory_order_relaxed); }

void CountReportedItem(WORD category) {
    switch (category) {
        case ALERT_CATEGORY_ADDED: g_added.fetch_add(1, std::memory_order_relaxed); break;
        case ALERT_CATEGORY_CHANGED: g_changed.fetch_add(1, std::memory_order_relaxed); break;
        case ALERT_CATEGORY_REMOVED: g_removed.fetch_add(1, std::memory_order_relaxed); break;
        default: break;
    }
}

HRESULT RecordCheckOutcome(LONG* stopFlag, HRESULT (*check)(LONG*)) {
    g_items = 0;
    g_added = 0;
    g_changed = 0;
    g_removed = 0;
    kv::platform::AppendCheckOutcome({});
    HRESULT result = check(stopFlag);
    kv::platform::CheckOutcomeRecord record;
    record.end = true;
    record.job = g_nCurrentProfile;
    record.items = g_items;
    record.added = g_added;
    record.changed = g_changed;
    record.removed = g_removed;
    record.result = static_cast<uint32_t>(result);
    record.stopped = stopFlag != nullptr && std::atomic_ref<LONG>(*stopFlag).load(std::memory_order_acquire) != 0;
    kv::platform::AppendCheckOutcome(record);
    return result;
}
