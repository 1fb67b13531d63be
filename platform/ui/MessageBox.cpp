#include "platform/ui/MessageBox.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The window model's box, when the process has the window model loaded and
// its display is on; false otherwise.
bool ShowOnDisplay(HWND owner, LPCSTR text, LPCSTR caption, UINT type, int& answer) {
    void* library = ::dlopen("libkvuser.so", RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) return false;
    using Show = int (*)(HWND, LPCSTR, LPCSTR, UINT, int*);
    auto show = reinterpret_cast<Show>(::dlsym(library, "KvUserMessageBox"));
    int handled = 0;
    if (show != nullptr) answer = show(owner, text, caption, type, &handled);
    ::dlclose(library);
    return handled != 0;
}

int FirstButton(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE: return IDABORT;
        case MB_YESNO:
        case MB_YESNOCANCEL: return IDYES;
        case MB_RETRYCANCEL: return IDRETRY;
        default: return IDOK;
    }
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    int answer = 0;
    if (ShowOnDisplay(owner, text, caption, type, answer)) return answer;
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
            ssize_t written = ::write(fd, record.data(), record.size());
            (void)written;
            ::close(fd);
        }
    }
    return FirstButton(type);
}
