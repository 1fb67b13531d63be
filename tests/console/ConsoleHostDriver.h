// The console snap-in in a headless console host, driven as a user would:
// one view's snapshots waited for, scope nodes found by name, expanded and
// selected through the host's commands.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "console/module/ConsoleGuids.h"
#include "platform/mmc/host/ConsoleHost.h"
#include "platform/ui/Display.h"
#include "tests/fixtures/TestRoot.h"

namespace kvtest {

class ConsoleHostDriver {
public:
    virtual ~ConsoleHostDriver() {
        if (host) host->Stop();
    }

    // The snap-in registered in the test's root, and a display to show it on.
    void RegisterSnapin() {
        auto reg = RunProgram(BinPath("kvregsvr32"), {"/s", BinPath("OrvConsole.so")});
        ASSERT_EQ(reg.exitCode, 0) << reg.err;
        kv::ui::EnableDisplay();
    }
    void StartHost(bool version2 = true) {
        kv::mmc::HostOptions options;
        options.snapin = CLSID_ComponentData;
        options.version2 = version2;
        host = std::make_unique<kv::mmc::ConsoleHost>(options);
        host->Start();
    }
    void OpenView() {
        view = host->OpenView();
        ASSERT_GT(view, 0);
        ASSERT_TRUE(WaitView([](const kv::mmc::ViewSnapshot& v) { return v.ready && !v.tree.empty(); }));
    }
    // Waits until the view's snapshot satisfies the test; `last` is the
    // snapshot seen last either way.
    bool WaitView(const std::function<bool(const kv::mmc::ViewSnapshot&)>& test) {
        using namespace std::chrono_literals;
        auto deadline = std::chrono::steady_clock::now() + 10s;
        auto snapshot = host->Snapshot();
        while (std::chrono::steady_clock::now() < deadline) {
            auto it = snapshot->views.find(view);
            if (it != snapshot->views.end() && test(it->second)) {
                last = it->second;
                return true;
            }
            snapshot = host->WaitForChange(snapshot->version, 200ms);
        }
        auto it = snapshot->views.find(view);
        if (it != snapshot->views.end()) last = it->second;
        return false;
    }
    int64_t NodeId(const std::string& name) {
        int64_t id = 0;
        WaitView([&](const kv::mmc::ViewSnapshot& v) {
            for (const auto& node : v.tree)
                if (node.name == name) id = node.id;
            return id != 0;
        });
        return id;
    }
    void Post(kv::mmc::HostCommand command) {
        command.view = view;
        ASSERT_TRUE(host->Post(command));
    }
    void Expand(const std::string& name) {
        kv::mmc::HostCommand c;
        c.type = kv::mmc::CommandType::Expand;
        c.item = NodeId(name);
        c.flag = true;
        Post(c);
    }
    void Select(const std::string& name) {
        kv::mmc::HostCommand c;
        c.type = kv::mmc::CommandType::SelectScope;
        c.item = NodeId(name);
        Post(c);
        int64_t id = c.item;
        WaitView([id](const kv::mmc::ViewSnapshot& v) { return v.selectedScope == id; });
    }
    // A verb of the selected scope node: "delete", "rename", "properties".
    void ScopeVerb(const std::string& verb) {
        kv::mmc::HostCommand c;
        c.type = kv::mmc::CommandType::Verb;
        c.pane = "scope";
        c.name = verb;
        Post(c);
    }

    std::unique_ptr<kv::mmc::ConsoleHost> host;
    int view = 0;
    kv::mmc::ViewSnapshot last;
};

}  // namespace kvtest
