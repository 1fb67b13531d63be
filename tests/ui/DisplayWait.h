// Waiting, bounded, until the display shows what a test looks for: the
// window-model tests and the console's page tests read the same display.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "platform/ui/Display.h"

namespace kvtest {

inline std::shared_ptr<const kv::ui::Snapshot> WaitForDisplay(
    const std::function<bool(const kv::ui::Snapshot&)>& shows) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto snapshot = kv::ui::CurrentSnapshot();
    while (!shows(*snapshot)) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the display never showed what the test waited for";
            return snapshot;
        }
        snapshot = kv::ui::WaitForSnapshot(snapshot->version, std::chrono::milliseconds(200));
    }
    return snapshot;
}

}  // namespace kvtest
