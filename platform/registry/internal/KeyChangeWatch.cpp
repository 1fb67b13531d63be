// Values are written to a temporary file ("." first, a name no value can
// have) and renamed into place, so the rename is the change that counts: the
// temporary file's own events are read and passed over. A watch that cannot
// tell what happened (a full event queue, a failed read) fires: a wake-up
// too many costs one more read of the settings, a missed one a lost request.
#include "platform/registry/internal/KeyChangeWatch.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "platform/registry/Registry.h"
#include "platform/sync/Event.h"
#include "platform/win/internal/ErrnoMap.h"

namespace kv::platform::registry {
namespace {

const uint32_t kGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT | IN_Q_OVERFLOW;
const uint32_t kNames = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

uint32_t WatchMask(DWORD filter) {
    uint32_t mask = IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
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

// Reads what is queued; true when any of it is a change the filter asks for.
bool DrainRelevant(int fd, DWORD filter) {
    alignas(inotify_event) char buffer[4096];
    bool relevant = false;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return relevant;
        if (n <= 0) return true;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (Relevant(*event, filter)) relevant = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

LONG AddWatches(int fd, const std::string& folder, bool subtree, uint32_t mask, bool top) {
    if (::inotify_add_watch(fd, folder.c_str(), mask) < 0) {
        // A sub-key removed while the tree is armed is a change in itself,
        // and the watch on its parent has seen it.
        if (!top && (errno == ENOENT || errno == ENOTDIR)) return ERROR_SUCCESS;
        if (errno == ENOENT || errno == ENOTDIR) return ERROR_KEY_DELETED;
        // The watches a user may hold are used up.
        if (errno == ENOSPC) return ERROR_NO_SYSTEM_RESOURCES;
        return WindowsErrorFromErrno(errno);
    }
    if (!subtree) return ERROR_SUCCESS;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return ERROR_SUCCESS;
    LONG rc = ERROR_SUCCESS;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::string path = folder + "/" + entry->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        rc = AddWatches(fd, path, true, mask, false);
        if (rc != ERROR_SUCCESS) break;
    }
    ::closedir(dir);
    return rc;
}

LONG Arm(const std::string& folder, bool subtree, DWORD filter, int& fd) {
    fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0) return WindowsErrorFromErrno(errno, ERROR_NO_SYSTEM_RESOURCES);
    LONG rc = AddWatches(fd, folder, subtree, WatchMask(filter), true);
    if (rc != ERROR_SUCCESS) {
        ::close(fd);
        fd = -1;
    }
    return rc;
}

}  // namespace

LONG KeyChangeWatch::Start(const std::string& folder, bool subtree, DWORD filter, HANDLE event,
                           std::unique_ptr<KeyChangeWatch>& watch) {
    int inotifyFd = -1;
    LONG rc = Arm(folder, subtree, filter, inotifyFd);
    if (rc != ERROR_SUCCESS) return rc;
    int cancelFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd < 0) {
        ::close(inotifyFd);
        return WindowsErrorFromErrno(errno, ERROR_NO_SYSTEM_RESOURCES);
    }
    watch.reset(new KeyChangeWatch(inotifyFd, cancelFd, filter, event));
    try {
        watch->m_thread = std::thread(&KeyChangeWatch::Run, watch.get());
    } catch (const std::system_error&) {
        watch->m_fired.store(true, std::memory_order_release);  // nothing to signal on the way out
        watch.reset();
        return ERROR_NO_SYSTEM_RESOURCES;
    }
    return ERROR_SUCCESS;
}

LONG KeyChangeWatch::WaitForChange(const std::string& folder, bool subtree, DWORD filter) {
    int fd = -1;
    LONG rc = Arm(folder, subtree, filter, fd);
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
        struct pollfd wait = {fd, POLLIN, 0};
        if (::poll(&wait, 1, -1) < 0 && errno == EINTR) continue;
        if (DrainRelevant(fd, filter)) break;
    }
    ::close(fd);
    return ERROR_SUCCESS;
}

KeyChangeWatch::KeyChangeWatch(int inotifyFd, int cancelFd, DWORD filter, HANDLE event)
    : m_inotifyFd(inotifyFd), m_cancelFd(cancelFd), m_filter(filter), m_event(event) {}

KeyChangeWatch::~KeyChangeWatch() {
    if (m_thread.joinable()) {
        uint64_t one = 1;
        while (::write(m_cancelFd, &one, sizeof one) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    ::close(m_inotifyFd);
    ::close(m_cancelFd);
    if (!Fired()) SetEvent(m_event);
}

void KeyChangeWatch::Run() {
    for (;;) {
        struct pollfd waits[2] = {{m_inotifyFd, POLLIN, 0}, {m_cancelFd, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;  // cannot wait any more: report a change rather than go deaf
        }
        if (waits[1].revents != 0) return;
        if (waits[0].revents != 0 && DrainRelevant(m_inotifyFd, m_filter)) break;
    }
    m_fired.store(true, std::memory_order_release);
    SetEvent(m_event);
}

}  // namespace kv::platform::registry
