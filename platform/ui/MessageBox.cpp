#include "platform/ui/MessageBox.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/internal/FileWrite.h"

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    // A box has no caption of its own: Windows shows "Error" then.
    std::string line = caption != nullptr ? caption : "Error";
    line += ": ";
    for (const char* p = text != nullptr ? text : ""; *p; ++p)
        line.push_back(*p == '\n' || *p == '\r' ? ' ' : *p);
    std::fprintf(stderr, "%s\n", line.c_str());
    ::syslog(LOG_USER | LOG_NOTICE, "%s", line.c_str());
    if (const char* log = std::getenv("KESTRAVA_MSGBOX_LOG"); log != nullptr && *log != '\0') {
        int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd >= 0) {
            std::string record = line + "\n";
            // A record that cannot be kept is no reason to fail the box.
            (void)kv::platform::posix::WriteAll(fd, record.data(), record.size());
            ::close(fd);
        }
    }
    return IDOK;
}
