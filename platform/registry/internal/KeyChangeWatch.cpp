// Values are written to a temporary file ("." first, a name no value can
// have) and renamed into place, so the rename is the change that counts: the
// temporary file's own events are read and passed over. When the reader
// cannot tell what happened (a full event queue, a failed read) every watch
// fires: a wake-up too many costs one more read of the settings, a missed
// one a lost request.
//
// The reader thread is not the only one that reads: a thread waiting on the
// event of a watch waits on the inotify descriptor too and, when it is
// readable, reads and dispatches itself (platform/sync's event sources), so
// a change reaches the waiter without passing through the reader. Reads are
// non-blocking and made under the lock, so each event is dispatched once,
// by whoever got it.
//
// Kernel watches stay after the notification they served has fired (a key
// is usually watched again at once); the kernel drops a folder's watch when
// the folder goes.
#include "platform/registry/internal/KeyChangeWatch.h"

#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "platform/registry/Registry.h"
#include "platform/sync/Event.h"
#include "platform/sync/internal/EventSource.h"
#include "platform/win/internal/ErrnoMap.h"

namespace kv::platform::registry {
namespace {

const uint32_t kGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
const uint32_t kNames = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

uint32_t WatchMask(DWORD filter) {
    uint32_t mask = IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK | IN_MASK_ADD;
    if (filter & (REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET)) mask |= kNames;
    // A value rewritten in place rather than replaced.
    if (filter & REG_NOTIFY_CHANGE_LAST_SET) mask |= IN_CLOSE_WRITE;
    if (filter & (REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_SECURITY)) mask |= IN_ATTRIB;
    return mask;
}

bool Relevant(const inotify_event& event, DWORD filter) {
    if (event.mask & kGone) return true;
    if (event.len == 0 || event.name[0] == '\0') {
        // The key's own folder: its permissions changed.
        return (event.mask & IN_ATTRIB) != 0 &&
               (filter & (REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_SECURITY)) != 0;
    }
    if (event.name[0] == '.') return false;  // a temporary file
    if (event.mask & IN_ISDIR) return (event.mask & kNames) != 0 && (filter & REG_NOTIFY_CHANGE_NAME) != 0;
    return (event.mask & (kNames | IN_CLOSE_WRITE)) != 0 && (filter & REG_NOTIFY_CHANGE_LAST_SET) != 0;
}

}  // namespace

class ChangeNotifier {
public:
    static ChangeNotifier* Get() {
        // Never destroyed: its thread reads until the process ends.
        static ChangeNotifier* notifier = [] {
            auto* created = new ChangeNotifier();
            if (!created->Begin()) {
                delete created;
                return static_cast<ChangeNotifier*>(nullptr);
            }
            return created;
        }();
        return notifier;
    }

    LONG Add(const std::string& folder, bool subtree, KeyChangeWatch& watch) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_deaf) return ERROR_NO_SYSTEM_RESOURCES;
        LONG rc = AddWatches(folder, subtree, WatchMask(watch.m_filter), true, watch.m_watchIds);
        if (rc != ERROR_SUCCESS) {
            watch.m_watchIds.clear();
            return rc;
        }
        for (int id : watch.m_watchIds) m_listeners[id].push_back(&watch);
        sync::AttachEventSource(watch.m_event, &m_source);
        return ERROR_SUCCESS;
    }

    // The watch is out of the table when this returns: the reader can no
    // longer signal its event.
    void Remove(KeyChangeWatch& watch) {
        std::lock_guard<std::mutex> lock(m_lock);
        for (int id : watch.m_watchIds) {
            auto it = m_listeners.find(id);
            if (it == m_listeners.end()) continue;
            std::erase(it->second, &watch);
            if (it->second.empty()) m_listeners.erase(it);
        }
        if (!watch.Fired()) SetEvent(watch.m_event);
        watch.m_fired.store(true, std::memory_order_release);
    }

private:
    bool Begin() {
        m_fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (m_fd < 0) return false;
        m_source = {m_fd, &ChangeNotifier::PumpOf, this};
        try {
            std::thread(&ChangeNotifier::Read, this).detach();
        } catch (const std::system_error&) {
            ::close(m_fd);
            return false;
        }
        return true;
    }

    LONG AddWatches(const std::string& folder, bool subtree, uint32_t mask, bool top, std::vector<int>& ids) {
        int id = ::inotify_add_watch(m_fd, folder.c_str(), mask);
        if (id < 0) {
            // A sub-key removed while the tree is armed is a change in
            // itself, and the watch on its parent has seen it.
            if (errno == ENOENT || errno == ENOTDIR) return top ? ERROR_KEY_DELETED : ERROR_SUCCESS;
            // The watches a user may hold are used up.
            if (errno == ENOSPC) return ERROR_NO_SYSTEM_RESOURCES;
            return WindowsErrorFromErrno(errno);
        }
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
        if (!subtree) return ERROR_SUCCESS;
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return ERROR_SUCCESS;
        LONG rc = ERROR_SUCCESS;
        while (dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::string path = folder + "/" + entry->d_name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
            rc = AddWatches(path, true, mask, false, ids);
            if (rc != ERROR_SUCCESS) break;
        }
        ::closedir(dir);
        return rc;
    }

    void Read() {
        for (;;) {
            struct pollfd wait = {m_fd, POLLIN, 0};
            int ready = ::poll(&wait, 1, -1);
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0 || (wait.revents & (POLLERR | POLLNVAL)) != 0) {
                std::lock_guard<std::mutex> lock(m_lock);
                GoDeaf();
                return;
            }
            if (!Pump()) return;
        }
    }

    static bool PumpOf(void* notifier) { return static_cast<ChangeNotifier*>(notifier)->Pump(); }

    // Reads and dispatches what is there; false once nothing more can come.
    bool Pump() {
        alignas(inotify_event) char buffer[16384];
        std::lock_guard<std::mutex> lock(m_lock);
        while (!m_deaf) {
            ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return true;
            if (n <= 0) {
                GoDeaf();
                return false;
            }
            Dispatch(buffer, n);
        }
        return false;
    }

    // Called with the lock held.
    void Dispatch(const char* buffer, ssize_t n) {
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                FireAll();
                continue;
            }
            auto it = m_listeners.find(event->wd);
            if (it == m_listeners.end()) continue;
            std::vector<KeyChangeWatch*> fired;
            for (KeyChangeWatch* watch : it->second)
                if (Relevant(*event, watch->m_filter)) fired.push_back(watch);
            for (KeyChangeWatch* watch : fired) Fire(*watch);
        }
    }

    // Called with the lock held. Nothing more will come: every watch fires
    // and later ones are refused.
    void GoDeaf() {
        FireAll();
        m_deaf = true;
    }

    // Called with the lock held.
    void Fire(KeyChangeWatch& watch) {
        for (int id : watch.m_watchIds) {
            auto it = m_listeners.find(id);
            if (it == m_listeners.end()) continue;
            std::erase(it->second, &watch);
            if (it->second.empty()) m_listeners.erase(it);
        }
        watch.m_fired.store(true, std::memory_order_release);
        SetEvent(watch.m_event);
    }

    void FireAll() {
        std::vector<KeyChangeWatch*> all;
        for (auto& entry : m_listeners)
            for (KeyChangeWatch* watch : entry.second)
                if (std::find(all.begin(), all.end(), watch) == all.end()) all.push_back(watch);
        for (KeyChangeWatch* watch : all) Fire(*watch);
    }

    int m_fd = -1;
    sync::EventSource m_source{-1, nullptr, nullptr};
    std::mutex m_lock;
    bool m_deaf = false;
    std::unordered_map<int, std::vector<KeyChangeWatch*>> m_listeners;
};

LONG KeyChangeWatch::Start(const std::string& folder, bool subtree, DWORD filter, HANDLE event,
                           std::unique_ptr<KeyChangeWatch>& watch) {
    ChangeNotifier* notifier = ChangeNotifier::Get();
    if (notifier == nullptr) return ERROR_NO_SYSTEM_RESOURCES;
    std::unique_ptr<KeyChangeWatch> armed(new KeyChangeWatch(filter, event));
    LONG rc = notifier->Add(folder, subtree, *armed);
    if (rc != ERROR_SUCCESS) {
        armed->m_fired.store(true, std::memory_order_release);  // never armed: nothing to signal
        return rc;
    }
    watch = std::move(armed);
    return ERROR_SUCCESS;
}

LONG KeyChangeWatch::WaitForChange(const std::string& folder, bool subtree, DWORD filter) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) return ERROR_NO_SYSTEM_RESOURCES;
    std::unique_ptr<KeyChangeWatch> watch;
    LONG rc = Start(folder, subtree, filter, event, watch);
    if (rc == ERROR_SUCCESS) {
        WaitForSingleObject(event, INFINITE);
        watch.reset();
    }
    CloseHandle(event);
    return rc;
}

KeyChangeWatch::~KeyChangeWatch() {
    if (!m_watchIds.empty()) {
        if (ChangeNotifier* notifier = ChangeNotifier::Get()) notifier->Remove(*this);
    }
}

}  // namespace kv::platform::registry
