#include "core/database/DatabaseError.h"

#include <string>

#include "common/DebugLog.h"

namespace {

// The report is one log line whatever the driver put in its texts.
std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

void WriteDBErrorLine(const CDBException& e) {
    WriteDebugLogF(1, "Database error; RetCode 0x%X, Description %s, Native state %s",
                   static_cast<unsigned>(static_cast<int>(e.m_nRetCode)), OneLine(e.m_strError).c_str(),
                   OneLine(e.m_strStateNativeOrigin).c_str());
}
