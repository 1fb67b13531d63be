#include "engine/alert/DispatchResults.h"

#include <cstdlib>
#include <vector>

#include "common/DebugLog.h"
#include "common/Settings.h"
#include "engine/EngineState.h"
#include "engine/TimeText.h"
#include "engine/alert/AlertEvent.h"
#include "engine/alert/AlertSpool.h"
#include "engine/alert/MailNotifier.h"
#include "engine/alert/ResourceFormat.h"
#include "engine/database/EngineDatabase.h"
#include "engine/database/QueryAhead.h"
#include "engine/scope/ScopeRules.h"
#include "platform/system/SystemInfo.h"

namespace {

const char* const kChangedAndAddedQuery =
    "SELECT TC.PATH, TC.SIZE AS CURRENT_SIZE, TC.OWNER AS CURRENT_OWNER, TC.CREATION_TIME , "
    "TC.LAST_MODIFIED_TIME, TC.LAST_ACCESSED_TIME, TO.ITEM_ID, TO.SIZE AS OLD_SIZE, TO.OWNER AS OLD_OWNER, "
    "TO.CREATION_TIME AS OLD_CREATION_TIME, TO.LAST_MODIFIED_TIME AS OLD_MODIFIED_TIME, "
    "TO.LAST_ACCESSED_TIME AS OLD_ACCESSED_TIME FROM CURRENT_DATA AS TC LEFT JOIN OLD_DATA AS TO ON "
    "TC.PATH_MD5 = TO.PATH_MD5 WHERE (TO.ITEM_ID IS NULL OR (TC.MD5 <> TO.MD5 OR TC.SIZE <> TO.SIZE OR "
    "TC.CREATION_TIME <> TO.CREATION_TIME OR TC.OWNER <> TO.OWNER OR TC.LAST_MODIFIED_TIME <> "
    "TO.LAST_MODIFIED_TIME OR TC.ATTRIBUTES <> TO.ATTRIBUTES))";

const char* const kRemovedQuery =
    "SELECT TO.PATH, TO.SIZE, TO.OWNER AS CURRENT_OWNER, TO.CREATION_TIME, TO.LAST_MODIFIED_TIME, "
    "TO.LAST_ACCESSED_TIME FROM OLD_DATA AS TO LEFT JOIN CURRENT_DATA AS TC ON TC.PATH_MD5 = TO.PATH_MD5 "
    "WHERE TO.PROFILE_ID = %d AND TC.ITEM_ID IS NULL";

const char* const kSeparator =
    "-----------------------------------------------------------------------------------\n\n";

#define IDS_ALERT_HEADER 10028
#define IDS_ALERT_ADDED_ITEM 10033
#define IDS_ALERT_CHANGED_ITEM 10036
#define IDS_ALERT_REMOVED_ITEM 10039
#define IDS_ALERT_CLOSING 10040
#define IDS_ALERT_CHANGED_HEADING 10041
#define IDS_ALERT_ADDED_HEADING 10042
#define IDS_ALERT_REMOVED_HEADING 10043
#define IDS_ALERT_SUBJECT 10257

// The date and time texts of a time column; a NULL column (drives store no
// times) gives two empty texts.
struct TimeTexts {
    std::string date;
    std::string time;
};

TimeTexts TimeColumn(const CRecordset& rs, const char* column) {
    time_t value = 0;
    if (!rs.GetFieldValue(column, value)) return {};
    return {DateText(value), TimeOfDayText(value)};
}

std::string TextColumn(const CRecordset& rs, const char* column) {
    std::string value;
    rs.GetFieldValue(column, value);
    return value;
}

LONG NumberColumn(const CRecordset& rs, const char* column) {
    return static_cast<LONG>(std::strtol(TextColumn(rs, column).c_str(), nullptr, 10));
}

std::string ComputerName() {
    char name[16] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return std::string();
    return name;
}

// A fresh item of the kind the report filter tells apart.
ScanItem ItemOfPath(const std::string& path) {
    ScanItem item;
    item.fullPath = path;
    item.type = !path.empty() && path.back() == '\\' ? "ftNA" : "ftFile";
    return item;
}

bool IsFilePath(const std::string& path) { return path.empty() || path.back() != '\\'; }

void WriteRecord(WORD category, DWORD eventId, const std::vector<std::string>& strings) {
    std::vector<LPCSTR> pointers;
    for (const std::string& s : strings) pointers.push_back(s.c_str());
    ReportAlertEvent(category, eventId, static_cast<WORD>(pointers.size()), pointers.data());
}

struct IncidentId {
    std::string text;
};

IncidentId NewIncident() { return {std::to_string(CreateNewIncidentID())}; }

}  // namespace

ItemNames NamesOfPath(const std::string& path) {
    ItemNames names;
    names.fullPath = path;
    if (!names.fullPath.empty() && names.fullPath.back() == '\\') names.fullPath.pop_back();
    size_t slash = names.fullPath.rfind('\\');
    if (slash == std::string::npos) {
        names.name = names.fullPath;
        names.folder = names.fullPath;
    } else {
        names.name = names.fullPath.substr(slash + 1);
        names.folder = names.fullPath.substr(0, slash);
    }
    if (names.folder.size() == 2) names.folder += "\\";
    return names;
}

HRESULT DispatchResults() {
    WriteDebugLog(6, ">> DispatchResults");
    std::string alert;
    const std::string computer = ComputerName();
    alert += FormatResourceText(LoadEngineString(IDS_ALERT_HEADER),
                                {DateTimeText(std::time(nullptr)), computer});
    CRecordset changes(EngineDatabase());
    CRecordset removals(EngineDatabase());
    char removedSql[1024];
    std::snprintf(removedSql, sizeof removedSql, kRemovedQuery, static_cast<int>(g_nCurrentProfile));
    try {
        WriteDebugLog(7, kChangedAndAddedQuery);
        // Nothing commits to the capture or the baseline before the roll
        // does, after this comparison, so the removed items are sought
        // meanwhile, on a second connection.
        CQueryAhead removedAhead(EngineDatabase(), removedSql);
        changes.Open(CRecordset::forwardOnly, kChangedAndAddedQuery);
        WriteDebugLog(7, "Processing add/changed items...");
        TextList suppressed;
        bool firstChanged = true;
        bool reported = false;
        std::string addedText;
        while (!changes.IsEOF()) {
            if (StopRequested()) {
                WriteDebugLog(1, "Stop Service encountered in DispatchResults");
                return DISPATCH_STOPPED;
            }
            const std::string path = TextColumn(changes, "PATH");
            WriteDebugLog(7, path.c_str());
            if (IsFilePath(path)) {
                std::string extension = ExtensionOf(path);
                if (ListHolds(g_excludedExtensions, extension) || ListHolds(g_oldExcludedExtensions, extension)) {
                    changes.MoveNext();
                    continue;
                }
            }
            const std::string itemId = TextColumn(changes, "ITEM_ID");
            const bool added = itemId.empty();
            if (added) {
                WriteDebugLogF(7, "Possible added item found; ITEM_ID:%s-", itemId.c_str());
                if (IsHiddenFromReport(ItemOfPath(path), suppressed, 1) == 1) {
                    changes.MoveNext();
                    continue;
                }
            }
            reported = true;
            const IncidentId incident = NewIncident();
            const ItemNames names = NamesOfPath(path);
            WriteDebugLog(7, names.name.c_str());
            const LONG size = NumberColumn(changes, "CURRENT_SIZE");
            const std::string owner = TextColumn(changes, "CURRENT_OWNER");
            const TimeTexts created = TimeColumn(changes, "CREATION_TIME");
            const TimeTexts written = TimeColumn(changes, "LAST_MODIFIED_TIME");
            const TimeTexts accessed = TimeColumn(changes, "LAST_ACCESSED_TIME");
            if (added) {
                WriteDebugLog(7, "Add");
                WriteRecord(ALERT_CATEGORY_ADDED, ALERT_EVENT_ADDED,
                            {incident.text, names.name, names.name, names.folder, owner, created.date,
                             created.time, written.date, written.time, "", accessed.date, accessed.time, "",
                             std::to_string(size)});
                addedText += addedText.empty() ? LoadEngineString(IDS_ALERT_ADDED_HEADING) : kSeparator;
                addedText += FormatResourceText(
                    LoadEngineString(IDS_ALERT_ADDED_ITEM),
                    {names.fullPath, names.name, names.folder, owner, created.date, created.time, written.date,
                     written.time, accessed.date, accessed.time, size, incident.text});
            } else {
                WriteDebugLog(7, "Mod");
                const LONG oldSize = NumberColumn(changes, "OLD_SIZE");
                long long difference = static_cast<long long>(size) - oldSize;
                const LONG sizeDifference = static_cast<LONG>(std::min<long long>(
                    difference < 0 ? -difference : difference, 0x7FFFFFFF));
                const std::string oldOwner = TextColumn(changes, "OLD_OWNER");
                const TimeTexts oldCreated = TimeColumn(changes, "OLD_CREATION_TIME");
                const TimeTexts oldWritten = TimeColumn(changes, "OLD_MODIFIED_TIME");
                const TimeTexts oldAccessed = TimeColumn(changes, "OLD_ACCESSED_TIME");
                WriteRecord(ALERT_CATEGORY_CHANGED, ALERT_EVENT_CHANGED,
                            {incident.text, names.name, names.name, names.folder, std::to_string(oldSize),
                             oldOwner, oldCreated.date, oldCreated.time, oldWritten.date, oldWritten.time, "",
                             oldAccessed.date, oldAccessed.time, "", std::to_string(size), owner, created.date,
                             created.time, written.date, written.time, "", accessed.date, accessed.time, "",
                             std::to_string(sizeDifference)});
                alert += firstChanged ? LoadEngineString(IDS_ALERT_CHANGED_HEADING) : kSeparator;
                firstChanged = false;
                alert += FormatResourceText(
                    LoadEngineString(IDS_ALERT_CHANGED_ITEM),
                    {names.fullPath, names.name, names.folder, oldSize, oldOwner, oldCreated.date, oldCreated.time,
                     oldWritten.date, oldWritten.time, oldAccessed.date, oldAccessed.time, size, owner,
                     created.date, created.time, written.date, written.time, accessed.date, accessed.time,
                     sizeDifference, incident.text});
            }
            changes.MoveNext();
        }
        alert += addedText;
        changes.Close();

        CRecordset* removed = removedAhead.Take();
        if (removed == nullptr) {
            removals.Open(CRecordset::forwardOnly, removedSql);
            removed = &removals;
        }
        suppressed.clear();
        WriteDebugLog(7, "Processing removed items...");
        WriteDebugLog(7, removedSql);
        bool firstRemoved = true;
        while (!removed->IsEOF()) {
            WriteDebugLog(7, "Del");
            if (StopRequested()) {
                WriteDebugLog(1, "Stop Service encountered in DispatchResults ");
                return DISPATCH_STOPPED;
            }
            const std::string path = TextColumn(*removed, "PATH");
            if (IsFilePath(path) && ListHolds(g_excludedExtensions, ExtensionOf(path))) {
                removed->MoveNext();
                continue;
            }
            WriteDebugLog(7, "x");
            if (IsHiddenFromReport(ItemOfPath(path), suppressed, 0) == 1) {
                removed->MoveNext();
                continue;
            }
            reported = true;
            const IncidentId incident = NewIncident();
            WriteDebugLog(7, "Found removed item");
            const ItemNames names = NamesOfPath(path);
            WriteDebugLog(7, names.name.c_str());
            const std::string owner = TextColumn(*removed, "CURRENT_OWNER");
            const TimeTexts created = TimeColumn(*removed, "CREATION_TIME");
            const TimeTexts written = TimeColumn(*removed, "LAST_MODIFIED_TIME");
            const TimeTexts accessed = TimeColumn(*removed, "LAST_ACCESSED_TIME");
            const LONG size = NumberColumn(*removed, "SIZE");
            WriteRecord(ALERT_CATEGORY_REMOVED, ALERT_EVENT_REMOVED,
                        {incident.text, names.name, names.name, names.folder, owner, created.date, created.time,
                         written.date, written.time, "", accessed.date, accessed.time, "", std::to_string(size)});
            WriteDebugLog(7, "Stergere");
            alert += firstRemoved ? LoadEngineString(IDS_ALERT_REMOVED_HEADING) : kSeparator;
            firstRemoved = false;
            std::string item = FormatResourceText(
                LoadEngineString(IDS_ALERT_REMOVED_ITEM),
                {names.fullPath, names.name, names.folder, owner, created.date, created.time, written.date,
                 written.time, accessed.date, accessed.time, size, incident.text});
            WriteDebugLog(7, item.c_str());
            alert += item;
            removed->MoveNext();
        }

        if (reported) {
            alert += LoadEngineString(IDS_ALERT_CLOSING);
            WriteDebugLog(7, computer.c_str());
            MailRequest request;
            request.server = g_szServerIP;
            request.from = g_strMailFrom;
            request.to = g_strMailTo;
            request.subject = FormatResourceText(LoadEngineString(IDS_ALERT_SUBJECT), {g_strMailSubject, computer});
            request.port = static_cast<LONG>(g_dwSmtpPort);
            request.body = alert;
            WriteDebugLog(6, alert.c_str());
            CSocketX socket;
            DeliverAlert(request);
        }
    } catch (const CDBException& e) {
        ReportDBError(e);
    }
    if (removals.IsOpen()) removals.Close();
    WriteDebugLog(6, "<< DispatchResults");
    return S_OK;
}
