// The file tree's system image list: the shell's icons of drives, folders
// and file types, by index.
#pragma once

#include "platform/shell/ShellInfo.h"

// Built on first use; the same list for the life of the process.
HSYSIMAGELIST GetSystemImageList();
