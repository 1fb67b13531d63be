#include "platform/posix/internal/FileWrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace kv::platform::posix {
namespace {

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;  // no progress and no reason: never spin on it
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReplaceFile(const std::string& path, const void* data, size_t size, mode_t mode) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    std::string temp = folder + "/.tmp." + std::to_string(::getpid()) + "." + std::to_string(g_tempCounter.fetch_add(1));
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data, size);
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    if (ok) saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return false;
}

}  // namespace kv::platform::posix
