#include "platform/mail/MailSpool.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/fs/PathMap.h"
#include "platform/posix/internal/FileWrite.h"
#include "platform/win/internal/ErrnoMap.h"

namespace kv::platform {
namespace {

const char kMagic[] = "KVMAIL 1\n";
const size_t kNameDigits = 20;
const char kSuffix[] = ".mail";

// "00000000000000000042.mail": the sequence number, or 0 for any other name.
uint64_t SequenceOf(const std::string& name) {
    if (name.size() != kNameDigits + sizeof kSuffix - 1) return 0;
    if (name.compare(kNameDigits, std::string::npos, kSuffix) != 0) return 0;
    uint64_t value = 0;
    for (size_t i = 0; i < kNameDigits; ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        value = value * 10 + static_cast<uint64_t>(name[i] - '0');
    }
    return value;
}

std::string NameOf(uint64_t sequence) {
    char name[64];
    std::snprintf(name, sizeof name, "%020" PRIu64 "%s", sequence, kSuffix);
    return name;
}

void AppendField(std::string& out, const std::string& field) {
    out += std::to_string(field.size());
    out += '\n';
    out += field;
    out += '\n';
}

bool TakeField(const std::string& in, size_t& at, std::string& field) {
    size_t end = in.find('\n', at);
    if (end == std::string::npos || end == at || end - at > 12) return false;
    unsigned long long length = 0;
    for (size_t i = at; i < end; ++i) {
        if (in[i] < '0' || in[i] > '9') return false;
        length = length * 10 + static_cast<unsigned>(in[i] - '0');
    }
    at = end + 1;
    if (length > in.size() - at || in.size() - at - length < 1 || in[at + length] != '\n') return false;
    field.assign(in, at, length);
    at += length + 1;
    return true;
}

}  // namespace

MailSpool::MailSpool(const std::string& windowsFolder)
    : m_folder(windowsFolder.empty() ? std::string() : ToPosixPath(windowsFolder)) {
    while (m_folder.size() > 1 && m_folder.back() == '/') m_folder.pop_back();
}

std::vector<std::string> MailSpool::List() const {
    std::vector<std::pair<uint64_t, std::string>> entries;
    if (DIR* dir = m_folder.empty() ? nullptr : ::opendir(m_folder.c_str())) {
        while (const struct dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (uint64_t sequence = SequenceOf(name)) entries.emplace_back(sequence, name);
        }
        ::closedir(dir);
    }
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> names;
    for (auto& entry : entries) names.push_back(std::move(entry.second));
    return names;
}

unsigned long long MailSpool::Bytes() const {
    unsigned long long total = 0;
    for (const std::string& name : List()) {
        struct stat info {};
        if (::lstat((m_folder + "/" + name).c_str(), &info) == 0) total += static_cast<unsigned long long>(info.st_size);
    }
    return total;
}

DWORD MailSpool::Add(const SpooledMail& mail) {
    if (m_folder.empty()) return ERROR_PATH_NOT_FOUND;
    if (::mkdir(m_folder.c_str(), 0700) != 0 && errno != EEXIST) return WindowsErrorFromErrno(errno);
    // The mails name files and recipients: a folder that others could read,
    // or that is not the spool's own, is not written into.
    struct stat folder {};
    if (::lstat(m_folder.c_str(), &folder) != 0) return WindowsErrorFromErrno(errno);
    if (!S_ISDIR(folder.st_mode) || folder.st_uid != ::geteuid()) return ERROR_ACCESS_DENIED;
    if ((folder.st_mode & 077) != 0 && ::chmod(m_folder.c_str(), 0700) != 0) return WindowsErrorFromErrno(errno);

    std::string text = kMagic;
    AppendField(text, mail.from);
    AppendField(text, mail.to);
    AppendField(text, mail.subject);
    AppendField(text, mail.body);

    std::vector<std::string> names = List();
    uint64_t next = names.empty() ? 1 : SequenceOf(names.back()) + 1;
    const std::string staging = m_folder + "/." + NameOf(next) + ".new";
    int fd = ::open(staging.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return WindowsErrorFromErrno(errno);
    bool written = posix::WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    int error = errno;
    ::close(fd);
    if (!written) {
        ::unlink(staging.c_str());
        return WindowsErrorFromErrno(error);
    }
    // link() refuses an existing name, so a mail is never written over.
    for (int attempt = 0; attempt < 100; ++attempt, ++next) {
        if (::link(staging.c_str(), (m_folder + "/" + NameOf(next)).c_str()) == 0) {
            ::unlink(staging.c_str());
            if (int dirFd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
                ::fsync(dirFd);
                ::close(dirFd);
            }
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST) break;
    }
    error = errno;
    ::unlink(staging.c_str());
    return WindowsErrorFromErrno(error);
}

DWORD MailSpool::Read(const std::string& name, SpooledMail& mail) const {
    if (SequenceOf(name) == 0) return ERROR_INVALID_DATA;
    int fd = ::open((m_folder + "/" + name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return WindowsErrorFromErrno(errno);
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int error = errno;
            ::close(fd);
            return WindowsErrorFromErrno(error);
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (text.compare(0, sizeof kMagic - 1, kMagic) != 0) return ERROR_INVALID_DATA;
    size_t at = sizeof kMagic - 1;
    SpooledMail read;
    if (!TakeField(text, at, read.from) || !TakeField(text, at, read.to) || !TakeField(text, at, read.subject) ||
        !TakeField(text, at, read.body) || at != text.size())
        return ERROR_INVALID_DATA;
    mail = std::move(read);
    return ERROR_SUCCESS;
}

DWORD MailSpool::Remove(const std::string& name) {
    if (SequenceOf(name) == 0) return ERROR_INVALID_DATA;
    return ::unlink((m_folder + "/" + name).c_str()) == 0 ? ERROR_SUCCESS : WindowsErrorFromErrno(errno);
}

DWORD MailSpool::SetAside(const std::string& name) {
    if (SequenceOf(name) == 0) return ERROR_INVALID_DATA;
    const std::string path = m_folder + "/" + name;
    return ::rename(path.c_str(), (path + ".bad").c_str()) == 0 ? ERROR_SUCCESS : WindowsErrorFromErrno(errno);
}

}  // namespace kv::platform
