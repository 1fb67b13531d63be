#include "engine/database/OrvRecordset.h"

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "core/database/DatabaseError.h"
#include "strings/CodeMap.h"

COrvRecordset::COrvRecordset(CDatabase* pDatabase) : CRecordset(pDatabase) {}

COrvRecordset::~COrvRecordset() {
    try {
        Close();
    } catch (const CDBException&) {
        // CloseDB stores the rows and reports a failure before this runs.
    }
}

std::string COrvRecordset::GetDefaultConnect() { return ProductText(PSC_CONNECT_STRING); }

std::string COrvRecordset::GetDefaultSQL() { return "[CURRENT_DATA]"; }

void COrvRecordset::DoFieldExchange(CFieldExchange* pFX) {
    RFX_Long(pFX, "[ITEM_ID]", m_ITEM_ID);
    RFX_Text(pFX, "[PATH]", m_PATH, 255, SQL_VARCHAR);
    RFX_Text(pFX, "[MD5]", m_MD5, 255);
    RFX_Long(pFX, "[SIZE]", m_SIZE);
    RFX_Date(pFX, "[CREATION_TIME]", m_CREATION_TIME);
    RFX_Text(pFX, "[OWNER]", m_OWNER, 255);
    RFX_Date(pFX, "[LAST_MODIFIED_TIME]", m_LAST_MODIFIED_TIME);
    RFX_Date(pFX, "[LAST_ACCESSED_TIME]", m_LAST_ACCESSED_TIME);
    RFX_Int(pFX, "[ATTRIBUTES]", m_ATTRIBUTES);
    RFX_Text(pFX, "[PATH_MD5]", m_PATH_MD5, 255);
    RFX_Text(pFX, "[PROFILE_ID]", m_PROFILE_ID, 255);
}

void COrvRecordset::OnAppendRefused(const std::vector<std::optional<std::string>>& values, const CDBException& e) {
    WriteDBErrorLine(e);
    // PATH is the second bound field.
    const std::string path = values.size() > 1 && values[1].has_value() ? *values[1] : std::string();
    WriteDebugLogF(1, "The item row of %s was not stored", path.c_str());
}
