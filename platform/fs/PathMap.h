// Windows-form paths ("C:\etc\passwd") and the POSIX paths they stand for. A
// drive letter maps to a folder by $KESTRAVA_ROOT/dosdevices/<letter>:, a
// symbolic link to the folder (C: to / by default).
#pragma once

#include <string>

namespace kv::platform {

// The folder a drive letter maps to, without trailing "/" (except "/"
// itself); empty when the letter is not mapped.
std::string DriveTarget(char letter);

// "C:\a\b" through the drive map; a POSIX absolute path given by an operator
// is taken as it is, with "\" read as a separator. A name missing as written
// is found as every open finds it (see Resolve.h). Empty when the drive is
// not mapped.
std::string ToPosixPath(const std::string& windowsPath);

// The Windows form of a POSIX path under the mapped drive with the longest
// matching folder; when no drive holds it, the POSIX path with "\" for "/"
// (which ToPosixPath reads back as the same path).
std::string ToWindowsPath(const std::string& posixPath);

}  // namespace kv::platform
