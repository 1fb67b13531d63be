#include "console/tree/SystemImageList.h"

HSYSIMAGELIST GetSystemImageList() {
    SHFILEINFOA info{};
    // Asking for the drive's icon index makes the shell hand out its list.
    return reinterpret_cast<HSYSIMAGELIST>(
        SHGetFileInfoA("C:\\", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}
