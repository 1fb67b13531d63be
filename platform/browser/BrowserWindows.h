// The windows the browser stand-in has opened in this process: each holds
// the text its document was last loaded with. Only the latest few are kept,
// so a console that opens report after report does not grow without end.
#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace kv::browser {

struct BrowserWindow {
    std::mutex lock;
    std::string content;
    bool visible = false;
    int number = 0;
};

// A new window, numbered and kept among the latest.
std::shared_ptr<BrowserWindow> NewBrowserWindow();
// Null when the number names no kept window.
std::shared_ptr<BrowserWindow> FindBrowserWindow(int number);
// Tells the host's handler that a window became visible.
void AnnounceBrowserWindow(int number);

}  // namespace kv::browser
