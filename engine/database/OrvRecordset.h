// The item recordset: the only way the engine inserts item rows. Opened
// append-only on CURRENT_DATA; ITEM_ID is bound but never sent, the database
// assigns it.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "core/database/Database.h"

class COrvRecordset : public CRecordset {
public:
    explicit COrvRecordset(CDatabase* pDatabase = nullptr);
    ~COrvRecordset() override;

    const char* GetRuntimeClassName() const override { return "COrvRecordset"; }
    std::string GetDefaultConnect() override;
    std::string GetDefaultSQL() override;
    void DoFieldExchange(CFieldExchange* pFX) override;

    std::optional<LONG> m_ITEM_ID;
    std::optional<std::string> m_PATH;
    std::optional<std::string> m_MD5;
    std::optional<LONG> m_SIZE;
    std::optional<time_t> m_CREATION_TIME;
    std::optional<std::string> m_OWNER;
    std::optional<time_t> m_LAST_MODIFIED_TIME;
    std::optional<time_t> m_LAST_ACCESSED_TIME;
    std::optional<int> m_ATTRIBUTES;
    std::optional<std::string> m_PATH_MD5;
    std::optional<std::string> m_PROFILE_ID;  // decimal digits; the column is an integer

protected:
    // The database error line, then the path of the item that was not stored.
    void OnAppendRefused(const std::vector<std::optional<std::string>>& values, const CDBException& e) override;
};
