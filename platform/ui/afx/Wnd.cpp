#include "platform/ui/afx/Wnd.h"

#include <atomic>
#include <map>

#include "platform/library/Library.h"
#include "platform/ui/afx/ClassLayer.h"
#include "platform/ui/afx/Dialog.h"
#include "platform/ui/window/Window.h"

using namespace kv::ui::detail;

namespace {

thread_local MSG t_current{};
// Wrappers for windows no object is attached to, one per window and thread.
thread_local std::map<HWND, std::unique_ptr<CWnd>> t_wrappers;

std::atomic<HINSTANCE> g_resourceModule{nullptr};
std::mutex g_appNameLock;
std::string& AppName() {
    static auto* name = new std::string;
    return *name;
}

}  // namespace

namespace kv::ui::detail {

LRESULT AfxWndProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    CWnd* object = window != nullptr ? window->cwnd : nullptr;
    if (object == nullptr) return DefWindowProc(handle, message, wParam, lParam);
    MSG saved = t_current;
    t_current = MSG{handle, message, wParam, lParam, 0, {0, 0}};
    LRESULT result = object->WindowProc(message, wParam, lParam);
    t_current = saved;
    if (message == WM_NCDESTROY) {
        // The window is gone: the object lets go of it and may delete itself.
        if (Window* still = OwnWindow(handle); still != nullptr && still->cwnd == object) {
            still->cwnd = nullptr;
            still->proc = DefWindowProc;
        }
        ClassLayer::Release(object);
        ClassLayer::PostNcDestroy(object);
    }
    return result;
}

void ClassLayer::Release(CWnd* object) {
    object->m_hWnd = nullptr;
    object->m_pfnSuper = nullptr;
}

void ClassLayer::PostNcDestroy(CWnd* object) { object->PostNcDestroy(); }

void ClassLayer::Hook(CWnd* object, Window* window) {
    object->m_hWnd = window->handle;
    object->m_pfnSuper = window->proc;
    window->proc = AfxWndProc;
    window->cwnd = object;
}

}  // namespace kv::ui::detail

CWnd::CWnd() = default;

CWnd::~CWnd() {
    HWND handle = m_hWnd;
    // A wrapper from FromHandle was never hooked and leaves its window be.
    if (handle == nullptr || !m_ownsWindow) return;
    // Unhooked first: the window must not call into what is left of us.
    OnOwnerThread(handle, [this, handle]() -> LRESULT {
        Window* window = OwnWindow(handle);
        if (window->cwnd == this) {
            window->cwnd = nullptr;
            if (window->proc == AfxWndProc) window->proc = m_pfnSuper != nullptr ? m_pfnSuper : ::DefWindowProc;
        }
        return 0;
    });
    m_hWnd = nullptr;
    ::DestroyWindow(handle);
}

CWnd* CWnd::FromHandlePermanent(HWND handle) {
    Window* window = OwnWindow(handle);
    return window != nullptr ? window->cwnd : nullptr;
}

CWnd* CWnd::FromHandle(HWND handle) {
    if (handle == nullptr) return nullptr;
    if (CWnd* permanent = FromHandlePermanent(handle)) return permanent;
    auto it = t_wrappers.find(handle);
    if (it != t_wrappers.end()) return it->second.get();
    if (t_wrappers.size() >= 64) {
        for (auto entry = t_wrappers.begin(); entry != t_wrappers.end();) {
            entry = ::IsWindow(entry->first) ? std::next(entry) : t_wrappers.erase(entry);
        }
    }
    auto wrapper = std::make_unique<CWnd>();
    wrapper->m_hWnd = handle;
    wrapper->m_ownsWindow = false;
    CWnd* raw = wrapper.get();
    t_wrappers[handle] = std::move(wrapper);
    return raw;
}

BOOL CWnd::Attach(HWND handle) {
    if (handle == nullptr || m_hWnd != nullptr) return FALSE;
    Window* window = OwnWindow(handle);
    if (window != nullptr) {
        if (window->cwnd != nullptr) return FALSE;
        window->cwnd = this;
    }
    m_hWnd = handle;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND handle = m_hWnd;
    if (Window* window = OwnWindow(handle); window != nullptr && window->cwnd == this) window->cwnd = nullptr;
    m_hWnd = nullptr;
    return handle;
}

BOOL CWnd::SubclassWindow(HWND handle) {
    Window* window = OwnWindow(handle);
    if (window == nullptr || window->cwnd != nullptr || m_hWnd != nullptr) return FALSE;
    ClassLayer::Hook(this, window);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    if (parent == nullptr) return FALSE;
    return SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
    HWND handle = m_hWnd;
    Window* window = OwnWindow(handle);
    if (window == nullptr || window->cwnd != this) return nullptr;
    window->proc = m_pfnSuper != nullptr ? m_pfnSuper : ::DefWindowProc;
    window->cwnd = nullptr;
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    return handle;
}

BOOL CWnd::DestroyWindow() { return m_hWnd != nullptr && ::DestroyWindow(m_hWnd); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendDlgItemMessage(m_hWnd, id, message, wParam, lParam);
}

void CWnd::SetWindowText(LPCSTR text) { ::SetWindowText(m_hWnd, text); }

int CWnd::GetWindowText(LPSTR buffer, int size) const { return ::GetWindowText(m_hWnd, buffer, size); }

void CWnd::GetWindowText(std::string& text) const {
    int length = ::GetWindowTextLength(m_hWnd);
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    int copied = ::GetWindowText(m_hWnd, buffer.data(), length + 1);
    buffer.resize(static_cast<size_t>(std::max(copied, 0)));
    text = std::move(buffer);
}

std::string CWnd::GetWindowText() const {
    std::string text;
    GetWindowText(text);
    return text;
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLength(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
CWnd* CWnd::GetFocus() { return FromHandle(::GetFocus()); }
CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
CWnd* CWnd::GetOwner() const { return FromHandle(::GetWindowOwner(m_hWnd)); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtr(m_hWnd, GWL_STYLE)); }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add) {
    DWORD style = GetStyle();
    DWORD next = (style & ~remove) | add;
    if (next == style) return FALSE;
    ::SetWindowLongPtr(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(next));
    return TRUE;
}

void CWnd::BringWindowToTop() { ::BringWindowToTop(m_hWnd); }
BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
    ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}
void CWnd::GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
void CWnd::GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }
void CWnd::SetRedraw(BOOL redraw) { SendMessage(WM_SETREDRAW, static_cast<WPARAM>(redraw)); }

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
void CWnd::GetDlgItem(int id, HWND* window) const {
    if (window != nullptr) *window = ::GetDlgItem(m_hWnd, id);
}
void CWnd::SetDlgItemText(int id, LPCSTR text) { ::SetDlgItemText(m_hWnd, id, text); }
int CWnd::GetDlgItemText(int id, LPSTR buffer, int size) const {
    return static_cast<int>(::GetDlgItemText(m_hWnd, id, buffer, size));
}
int CWnd::GetDlgItemText(int id, std::string& text) const {
    HWND item = ::GetDlgItem(m_hWnd, id);
    text.clear();
    if (item == nullptr) return 0;
    CWnd* control = FromHandle(item);
    control->GetWindowText(text);
    return static_cast<int>(text.size());
}
void CWnd::SetDlgItemInt(int id, UINT value, BOOL isSigned) { ::SetDlgItemInt(m_hWnd, id, value, isSigned); }
UINT CWnd::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const {
    return ::GetDlgItemInt(m_hWnd, id, translated, isSigned);
}
void CWnd::CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
UINT CWnd::IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
void CWnd::CheckRadioButton(int firstId, int lastId, int checkId) {
    ::CheckRadioButton(m_hWnd, firstId, lastId, checkId);
}
int CWnd::GetCheckedRadioButton(int firstId, int lastId) const {
    for (int id = firstId; id <= lastId; ++id)
        if (::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED) return id;
    return 0;
}

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
    HWND owner = m_hWnd;
    if (owner != nullptr) {
        HWND parent = nullptr;
        // The box belongs to the top-level window, as it does on Windows.
        while ((::GetWindowLongPtr(owner, GWL_STYLE) & WS_CHILD) != 0 && (parent = ::GetParent(owner)) != nullptr)
            owner = parent;
    }
    std::string name;
    if (caption == nullptr) {
        std::lock_guard<std::mutex> guard(g_appNameLock);
        name = AppName();
    }
    return ::MessageBoxA(owner, text, caption != nullptr ? caption : name.c_str(), type);
}

void CWnd::BeginWaitCursor() { ::BeginWaitCursor(); }
void CWnd::EndWaitCursor() { ::EndWaitCursor(); }

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const DataExchangeFailure&) {
        return FALSE;
    }
    return TRUE;
}

void CWnd::OnCommandFrom(int id, UINT code, std::function<void()> handler) {
    m_commands[{id, code}] = std::move(handler);
}

void CWnd::OnNotifyFrom(int id, UINT code, std::function<void(NMHDR*, LRESULT*)> handler) {
    m_notifies[{id, code}] = std::move(handler);
}

void CWnd::OnMessage(UINT message, std::function<LRESULT(WPARAM, LPARAM)> handler) {
    m_messages[message] = std::move(handler);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (auto it = m_messages.find(message); it != m_messages.end()) {
        // A copy: the handler may change the map, or end the object's window.
        auto handler = it->second;
        return handler(wParam, lParam);
    }
    if (message == WM_COMMAND) {
        if (OnCommand(wParam, lParam)) return 0;
    } else if (message == WM_NOTIFY) {
        LRESULT result = 0;
        if (OnNotify(wParam, lParam, &result)) return result;
    }
    return Default();
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
    auto it = m_commands.find({static_cast<int>(static_cast<short>(LOWORD(wParam))), HIWORD(wParam)});
    if (it == m_commands.end()) return FALSE;
    auto handler = it->second;
    handler();
    return TRUE;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header == nullptr) return FALSE;
    auto it = m_notifies.find({static_cast<int>(header->idFrom), header->code});
    if (it == m_notifies.end()) return FALSE;
    auto handler = it->second;
    handler(header, result);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}
void CWnd::PostNcDestroy() {}

LRESULT CWnd::Default() {
    return ::CallWindowProc(m_pfnSuper != nullptr ? m_pfnSuper : ::DefWindowProc, t_current.hwnd, t_current.message,
                            t_current.wParam, t_current.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProc(m_pfnSuper != nullptr ? m_pfnSuper : ::DefWindowProc, m_hWnd, message, wParam, lParam);
}

HINSTANCE AfxGetResourceHandle() { return g_resourceModule.load(); }
void AfxSetResourceHandle(HINSTANCE module) { g_resourceModule.store(module); }

void AfxSetAppName(LPCSTR name) {
    std::lock_guard<std::mutex> guard(g_appNameLock);
    AppName() = name != nullptr ? name : "";
}

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
    std::string name;
    {
        std::lock_guard<std::mutex> guard(g_appNameLock);
        name = AppName();
    }
    if (name.empty()) {
        std::string program = kv::platform::ProgramPath();
        name = program.substr(program.find_last_of('/') + 1);
    }
    HWND owner = ::GetActiveWindow();
    return ::MessageBoxA(owner, text, name.c_str(), type);
}

int AfxMessageBox(UINT stringId, UINT type, UINT helpId) {
    std::string text = LoadModuleString(AfxGetResourceHandle(), stringId);
    return AfxMessageBox(text.c_str(), type, helpId);
}
