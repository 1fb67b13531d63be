// Writing files the one way the stand-ins do it: every byte or a failure,
// and a file replaced whole or not at all.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace kv::platform::posix {

// Writes all of the bytes, going on after short writes and interruptions.
// Only write(2) is called, so a child between fork and exec may use it.
// false with errno set when the descriptor takes no more.
bool WriteAll(int fd, const void* data, size_t size);

// Replaces the file at path with the bytes: they are written to a temporary
// file in the same folder, named with a leading "." (which no registry value
// and no service file has), and renamed over the path, so a reader sees the
// old file or the new one, never a part, and writers of different files in
// one folder never disturb each other. The file gets the mode less the
// umask, whether it is new or replaced. false with errno set when anything
// fails; the temporary file is gone then and the old file unchanged.
bool ReplaceFile(const std::string& path, const void* data, size_t size, mode_t mode);
inline bool ReplaceFile(const std::string& path, const std::string& text, mode_t mode) {
    return ReplaceFile(path, text.data(), text.size(), mode);
}

}  // namespace kv::platform::posix
