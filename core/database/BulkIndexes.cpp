#include "core/database/BulkIndexes.h"

#include <cstdlib>

namespace {

std::string Quoted(const std::string& name, char quote) {
    std::string text(1, quote);
    for (char c : name) {
        text += c;
        if (c == quote) text += c;
    }
    return text + quote;
}

}  // namespace

CBulkIndexes::CBulkIndexes(CDatabase& db, const std::string& table) : m_db(db) {
    std::vector<std::string> names;
    {
        CRecordset indexes(&db);
        indexes.Open(CRecordset::forwardOnly,
                     ("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL AND tbl_name = " +
                      Quoted(table, '\'') + " ORDER BY name").c_str());
        while (!indexes.IsEOF()) {
            std::string name, sql;
            indexes.GetFieldValue("name", name);
            indexes.GetFieldValue("sql", sql);
            names.push_back(name);
            m_definitions.push_back(sql);
            indexes.MoveNext();
        }
        indexes.Close();
    }
    for (const std::string& name : names) db.ExecuteSQL(("DROP INDEX " + Quoted(name, '"')).c_str());
}

void CBulkIndexes::Restore() {
    for (const std::string& definition : m_definitions) m_db.ExecuteSQL(definition.c_str());
    m_definitions.clear();
}

long CountRows(CDatabase& db, const std::string& table) {
    CRecordset count(&db);
    count.Open(CRecordset::forwardOnly, ("SELECT COUNT(*) AS N FROM " + Quoted(table, '"')).c_str());
    std::string value;
    if (!count.IsEOF()) count.GetFieldValue("N", value);
    count.Close();
    return std::strtol(value.c_str(), nullptr, 10);
}
