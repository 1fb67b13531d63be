// File attributes: the Windows attribute word of a file or folder, as
// FindFirstFile/FindNextFile and GetFileAttributes report it.
//
// The attribute byte (the low 8 bits of the word, the value the integrity
// database stores and compares) is derived from the entry's mode and name,
// and this is the one place that defines it:
//
//   0x01 FILE_ATTRIBUTE_READONLY   the owner has no write permission (u-w)
//   0x02 FILE_ATTRIBUTE_HIDDEN     the name starts with "." ("." and ".."
//                                  themselves excepted)
//   0x04 FILE_ATTRIBUTE_SYSTEM     neither a regular file nor a folder: a
//                                  symbolic link, FIFO, socket or device
//   0x08 KV_ATTRIBUTE_SETUID       set-user-ID (u+s)
//   0x10 FILE_ATTRIBUTE_DIRECTORY  a folder
//   0x20 KV_ATTRIBUTE_SETGID       set-group-ID (g+s)
//   0x40 KV_ATTRIBUTE_SHARED_WRITE write permission for the group or for
//                                  others (g+w or o+w)
//   0x80 KV_ATTRIBUTE_EXECUTE      execute (search, for a folder) permission
//                                  for anyone (u+x, g+x or o+x)
//
// So a chmod that takes away or gives the owner write permission, gives the
// first or takes away the last write permission of group and others, gives
// the first or takes away the last execute permission, or sets or clears
// set-user-ID or set-group-ID changes the byte. A chmod that only moves a
// permission between classes that keep one of the same kind (g+w on a file
// that is already o+w, g+x on one that is already u+x) does not: eight bits
// cannot hold the twelve of the mode, and these are the changes that matter.
// Read permission and the sticky bit are not in the byte.
//
// Bits 0x08, 0x20, 0x40 and 0x80 are not Windows' volume-label, archive,
// device and normal bits here: code must not test the byte against those.
//
// Above the byte, and never stored:
//   0x400 FILE_ATTRIBUTE_REPARSE_POINT  the entry is a symbolic link, or a
//         folder where another file system is mounted (see Find.h); the
//         tag is in WIN32_FIND_DATAA::dwReserved0.
#pragma once

#include "platform/win/WinTypes.h"

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define KV_ATTRIBUTE_SETUID 0x00000008u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define KV_ATTRIBUTE_SETGID 0x00000020u
#define KV_ATTRIBUTE_SHARED_WRITE 0x00000040u
#define KV_ATTRIBUTE_EXECUTE 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define IO_REPARSE_TAG_MOUNT_POINT 0xA0000003u
#define IO_REPARSE_TAG_SYMLINK 0xA000000Cu

// The attribute word of a path (Windows form, or a POSIX absolute path). A
// symbolic link is described itself, never its target, except that a drive
// root stands for the folder its drive maps to. INVALID_FILE_ATTRIBUTES
// with ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND or ERROR_ACCESS_DENIED
// when it cannot be read.
DWORD GetFileAttributesA(LPCSTR fileName);
