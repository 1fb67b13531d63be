// One scan job as a scan-job node holds it and its pages edit it.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

struct CProfileRecord {
    LONG id = 0;
    std::string name;
    std::string mailTo;
    std::string mailFrom;
    std::string subject;
    BYTE priority = 1;
    bool enabled = false;
};

// The addresses a new scan job starts with: those of scan job 1 once its node
// is built, then whatever an e-mail page applied last.
extern std::string g_strDefaultMailTo;
extern std::string g_strDefaultMailFrom;
