// A folder of mails waiting for their server: one file per mail, named by a
// sequence number so that the oldest comes first, written whole before it
// appears (a crash leaves the mail entirely or not at all), readable and
// writable by the owner only, as is the folder. A file that cannot be read
// back is set aside under a name the list no longer shows, so that it never
// blocks the mails behind it.
//
//   MailSpool spool("C:\\Tsl3\\Data\\AlertSpool");
//   spool.Add({from, to, subject, body});
//   for (const std::string& name : spool.List()) {
//       SpooledMail mail;
//       if (spool.Read(name, mail) != ERROR_SUCCESS) { spool.SetAside(name); continue; }
//       ... send; spool.Remove(name) once the server took it
//   }
#pragma once

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace kv::platform {

struct SpooledMail {
    std::string from;
    std::string to;
    std::string subject;
    std::string body;
    bool operator==(const SpooledMail&) const = default;
};

class MailSpool {
public:
    // The folder in Windows form; created (owner only) by the first Add.
    // Without a folder the spool is empty and refuses every mail.
    explicit MailSpool(const std::string& windowsFolder);

    // Names of the mails, oldest first; empty when the folder is missing.
    std::vector<std::string> List() const;
    // Bytes the spooled mails take.
    unsigned long long Bytes() const;
    // ERROR_SUCCESS, or a Windows error code (the folder cannot be made or
    // is not the owner's own, the disk is full...); nothing is left behind
    // on failure.
    DWORD Add(const SpooledMail& mail);
    // ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, or ERROR_INVALID_DATA for a file
    // that is not a whole spooled mail.
    DWORD Read(const std::string& name, SpooledMail& mail) const;
    DWORD Remove(const std::string& name);
    // Renames the file out of the list ("<name>.bad").
    DWORD SetAside(const std::string& name);

    // The POSIX folder, for tests and log lines.
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
};

}  // namespace kv::platform
