#include "platform/browser/BrowserWindows.h"

#include <cctype>
#include <deque>

#include "platform/browser/WebBrowser.h"

namespace kv::browser {

namespace {

constexpr size_t kKeptWindows = 16;

std::mutex g_lock;
std::deque<std::shared_ptr<BrowserWindow>> g_windows;
int g_nextNumber = 1;
NewWindowHandler g_handler = nullptr;
void* g_context = nullptr;

// "C:\..." or a path from the root of the current drive ("\var\..."),
// never a network path ("\\server\...").
bool IsWindowsPath(const std::string& value) {
    if (value.size() >= 3 && std::isalpha(static_cast<unsigned char>(value[0])) && value[1] == ':' && value[2] == '\\')
        return true;
    return value.size() >= 2 && value[0] == '\\' && value[1] != '\\';
}

std::string Unescape(const std::string& value) {
    static const std::pair<const char*, char> references[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
    std::string out;
    for (size_t i = 0; i < value.size();) {
        bool replaced = false;
        for (const auto& [reference, character] : references) {
            size_t n = std::char_traits<char>::length(reference);
            if (value.compare(i, n, reference) == 0) {
                out += character;
                i += n;
                replaced = true;
                break;
            }
        }
        if (!replaced) out += value[i++];
    }
    return out;
}

bool StartsAttribute(const std::string& text, size_t at) {
    static const char kName[] = "src=\"";
    if (at == 0 || !std::isspace(static_cast<unsigned char>(text[at - 1]))) return false;
    for (size_t i = 0; i < sizeof kName - 1; ++i) {
        if (at + i >= text.size() || std::tolower(static_cast<unsigned char>(text[at + i])) != kName[i]) return false;
    }
    return true;
}

}  // namespace

std::shared_ptr<BrowserWindow> NewBrowserWindow() {
    auto window = std::make_shared<BrowserWindow>();
    std::lock_guard<std::mutex> guard(g_lock);
    window->number = g_nextNumber++;
    g_windows.push_back(window);
    if (g_windows.size() > kKeptWindows) g_windows.pop_front();
    return window;
}

std::shared_ptr<BrowserWindow> FindBrowserWindow(int number) {
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto& window : g_windows)
        if (window->number == number) return window;
    return nullptr;
}

void AnnounceBrowserWindow(int number) {
    NewWindowHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        handler = g_handler;
        context = g_context;
    }
    if (handler != nullptr) handler(number, context);
}

void SetNewWindowHandler(NewWindowHandler handler, void* context) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_handler = handler;
    g_context = context;
}

bool DocumentSource(int number, std::string* text) {
    auto window = FindBrowserWindow(number);
    if (!window) return false;
    std::lock_guard<std::mutex> guard(window->lock);
    *text = window->content;
    return true;
}

bool RenderDocument(int number, RenderedDocument* document) {
    std::string text;
    if (!DocumentSource(number, &text)) return false;
    *document = RenderText(text);
    return true;
}

RenderedDocument RenderText(const std::string& text) {
    // A page written on Windows names its pictures by local paths, which the
    // browser opened directly; here the host serves them by number.
    RenderedDocument out;
    static const size_t kNameLength = 5;  // src="
    size_t copied = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if (!StartsAttribute(text, at)) continue;
        size_t valueStart = at + kNameLength;
        size_t valueEnd = text.find('"', valueStart);
        if (valueEnd == std::string::npos) break;
        std::string value = Unescape(text.substr(valueStart, valueEnd - valueStart));
        if (IsWindowsPath(value)) {
            out.html.append(text, copied, valueStart - copied);
            out.html += "file/" + std::to_string(out.files.size());
            out.files.push_back(value);
            copied = valueEnd;
        }
        at = valueEnd;
    }
    out.html.append(text, copied, std::string::npos);
    return out;
}

}  // namespace kv::browser
