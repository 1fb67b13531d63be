#include "engine/walk/Walk.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "common/DebugLog.h"
#include "engine/EngineState.h"
#include "engine/TimeText.h"
#include "engine/fingerprint/BaselineFingerPrint.h"
#include "engine/fingerprint/FingerPrint.h"
#include "engine/scope/ScopeRules.h"
#include "engine/walk/FingerPrintAhead.h"
#include "engine/walk/SaveItem.h"
#include "platform/fs/Drives.h"
#include "platform/fs/Find.h"
#include "platform/file/File.h"
#include "platform/fs/Attributes.h"
#include "platform/fs/FileTime.h"
#include "platform/system/SystemInfo.h"
#include "platform/win/LastError.h"

namespace {

bool Stopped(const char* line) {
    if (!StopRequested()) return false;
    WriteDebugLog(1, line);
    return true;
}

// Seconds of a directory entry's time read as local calendar fields.
time_t ConvertedCalendarTime(const FILETIME& utc) {
    FILETIME local {};
    SYSTEMTIME fields {};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &fields)) return 0;
    return LocalCalendarTime(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                             fields.wSecond);
}

// The conversion asks the time-zone rules twice, each time under the lock
// of the shared zone answers, and the walk asks three times per entry.
// Offsets only change on quarter hours, so the difference the whole
// conversion makes is kept here, per quarter hour of UTC (and TZ setting).
time_t CalendarTime(const FILETIME& utc) {
    static std::unordered_map<int64_t, int64_t> shifts;
    static std::string zone;
    const char* tz = std::getenv("TZ");
    if (zone != (tz != nullptr ? tz : "\x01unset")) {
        shifts.clear();
        zone = tz != nullptr ? tz : "\x01unset";
    }
    const int64_t seconds = kv::platform::UnixSecondsFromFileTime(utc);
    const int64_t quarter = seconds >= 0 ? seconds / 900 : (seconds - 899) / 900;
    auto hit = shifts.find(quarter);
    if (hit != shifts.end()) return static_cast<time_t>(seconds + hit->second);
    // Whole seconds only: the sub-second part is dropped like the fields drop it.
    FILETIME whole = kv::platform::FileTimeFromUnix(seconds, 0);
    time_t converted = ConvertedCalendarTime(whole);
    if (converted == 0 || converted == static_cast<time_t>(-1)) return converted;
    if (shifts.size() > 4096) shifts.clear();
    shifts.emplace(quarter, static_cast<int64_t>(converted) - seconds);
    return converted;
}

std::string BasePath(const ScanItem& item) {
    std::string base = item.drive + ":";
    if (!item.folder.empty()) base += "\\" + item.folder;
    return base;
}

void FillFromEntry(ScanItem& entry, const WIN32_FIND_DATAA& data) {
    // The size column holds 32 bits: the low half of the size, read as signed.
    entry.size = static_cast<LONG>(data.nFileSizeLow);
    entry.attributes = static_cast<BYTE>(data.dwFileAttributes & 0xFF);
    entry.lastWriteTime = CalendarTime(data.ftLastWriteTime);
    entry.lastAccessTime = CalendarTime(data.ftLastAccessTime);
    entry.creationTime = CalendarTime(data.ftCreationTime);
    entry.hasTimes = true;
}

// A file whose content cannot be read now (another process holds it, a
// read fails) keeps the fingerprint of the content last read: stored empty,
// it would match whatever the content is at the next reading, and a change
// made meanwhile would never be reported.
void KeepBaselineFingerPrint(ScanItem& entry, const std::string& full) {
    std::string md5;
    if (!BaselineFingerPrint(ItemPath(entry), md5)) return;
    entry.md5 = md5;
    WriteDebugLogF(2, "The content of %s could not be read; the fingerprint of its last reading (%s) is kept",
                   full.c_str(), md5.c_str());
}

// The owner of the entry the enumeration returned last (named name): from
// the status the enumeration read, or, when it could read none, from the
// entry opened in its folder.
void OwnerOfListedEntry(HANDLE find, const char* name, const std::string& full, std::string& owner,
                        bool isFolder) {
    HRESULT result = S_OK;
    if (GetOwnerOfFoundEntry(find, owner, result)) return;
    HANDLE file = kv::platform::OpenFoundFile(find, name, READ_CONTROL, FILE_SHARE_READ,
                                              isFolder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        WriteDebugLogF(1, "Error getting the owner of %s; CreateFile error = %d", full.c_str(),
                       static_cast<int>(GetLastError()));
        return;
    }
    GetOwnerOfFile(file, full, owner);
    CloseHandle(file);
}

// The walk of one folder entry: classify, store, descend.
void ProcessEntry(ItemList& list, ScanItem& item, HANDLE find, const WIN32_FIND_DATAA& data,
                  FolderFingerPrints& ahead) {
    const char* name = data.cFileName;
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    auto entry = std::make_unique<ScanItem>();
    entry->drive = item.drive;
    FillFromEntry(*entry, data);
    if (isFolder) {
        entry->type = "ftDir";
        // Made at its exact size: every folder above the one being walked
        // holds its path, and a path grown by appending would hold up to
        // twice that, a cost that grows with the square of the depth.
        if (!item.folder.empty()) {
            entry->folder.reserve(item.folder.size() + 1 + std::strlen(name));
            entry->folder.append(item.folder).append(1, '\\');
        }
        entry->folder.append(name);
        entry->size = 0;
    } else {
        entry->type = "ftFile";
        entry->folder = item.folder;
        entry->name = name;
    }
    int code = ClassifyItem(*entry, item.inCurrentJob ? 1 : 0);
    bool store = code == SCOPE_IN_JOB;
    bool descend = isFolder && (code == SCOPE_IN_JOB || code == SCOPE_LEADS_TO_JOB);
    if (store) entry->inCurrentJob = 1;
    // Another file system mounted here: never walked into. A mapped drive on
    // it is walked as a drive of its own.
    if (isFolder && !kv::platform::IsWalkableFolder(data)) descend = false;

    // Full paths are made where they are needed and not kept across the
    // walk of a sub-folder: each level of a deep tree would hold its own.
    if (isFolder) {
        list.AddTail(entry.get());
        WriteDebugLog(7, "Item was added to the list");
        if (store) {
            OwnerOfListedEntry(find, name, BasePath(item) + "\\" + name, entry->owner, true);
            if (SaveItem(*entry) == S_OK) WriteDebugLog(7, "Item successfully saved into the DB");
        }
        if (descend) {
            entry->children = std::make_unique<ItemList>();
            WriteDebugLog(7, "Before scan!");
            HRESULT result = ReadFromSystem(*entry->children, entry.get());
            if (result != WALK_DONE)
                WriteDebugLogF(2, "No files to scan on Drive: %s Path: %s", entry->drive.c_str(),
                               entry->folder.c_str());
            entry->children.reset();
        }
    } else if (store) {
        const std::string full = BasePath(item) + "\\" + name;
        OwnerOfListedEntry(find, name, full, entry->owner, false);
        char md5[MD5_TEXT_CHARS] = {};
        // Links, FIFOs, sockets and devices have no content to read: they are
        // stored by their status alone, and opening them could block or act.
        if (kv::platform::HasFileContent(data)) {
            HRESULT result = S_OK;
            if (!ahead.Take(name, result, md5)) result = FingerPrintListedFile(find, name, full.c_str(), md5);
            if (result == S_OK) {
                entry->md5 = md5;
                WriteDebugLogF(7, "MD5 for the file is %s", md5);
            } else {
                WriteDebugLogF(1, "Failed to compute MD5 for the file %s", full.c_str());
                // A stopped check rolls nothing: there is no later reading to
                // protect.
                if (result != FINGERPRINT_STOPPED) KeepBaselineFingerPrint(*entry, full);
            }
        }
        if (SaveItem(*entry) == S_OK) WriteDebugLog(7, "Item successfully saved into the DB");
    }
}

// Whether the walk will fingerprint the listed entry: a file with content
// that it will store. The same tests as the walk's, without their log lines.
bool WillFingerPrint(const ScanItem& item, const WIN32_FIND_DATAA& data) {
    const char* name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !kv::platform::HasFileContent(data) ||
        !kv::platform::IsRepresentableName(name) || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return false;
    ScanItem probe;
    probe.drive = item.drive;
    probe.folder = item.folder;
    probe.name = name;
    probe.type = "ftFile";
    return ClassifyItemQuietly(probe, item.inCurrentJob ? 1 : 0) == SCOPE_IN_JOB;
}

// Keeps the workers supplied with the files the walk reaches next: up to
// kFilesAhead requested and not taken, from no further than kEntriesAhead
// entries on. examined counts the entries of the listing looked at so far;
// position is that of the current one.
void RequestAhead(FolderFingerPrints& ahead, HANDLE find, const ScanItem& item, const WIN32_FIND_DATAA& current,
                  size_t position, size_t& examined) {
    const size_t kFilesAhead = 64;
    const size_t kEntriesAhead = 512;
    if (!ahead.Active()) return;
    auto examine = [&](const WIN32_FIND_DATAA& data) {
        if (!WillFingerPrint(item, data)) return;
        const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        ahead.Request(data.cFileName, size);
    };
    if (examined < position) {
        examined = position;
        examine(current);
    }
    WIN32_FIND_DATAA next;
    while (ahead.Pending() < kFilesAhead) {
        // Nothing more to request for a while: what is requested goes now.
        if (examined - position >= kEntriesAhead || !kv::platform::PeekFoundEntry(find, examined - position + 1, next)) {
            ahead.Submit();
            return;
        }
        ++examined;
        examine(next);
    }
}

}  // namespace

HRESULT ReadDrives(ItemList& drives) {
    try {
        if (!drives.IsEmpty()) {
            drives.RemoveAll();
            WriteDebugLog(7, "Item list was reset");
        }
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const char root[] = {letter, ':', '\0'};
            UINT type = GetDriveTypeA(root);
            if (!SetCurrentDirectoryA(root)) continue;
            if (type != DRIVE_FIXED && type != DRIVE_UNKNOWN) continue;
            auto drive = std::make_unique<ScanItem>();
            drive->drive = std::string(1, letter);
            drive->type = "ftDrive";
            switch (ClassifyItem(*drive, -1)) {
                case SCOPE_IN_JOB: {
                    drive->inCurrentJob = 1;
                    ScanItem* kept = drive.release();
                    drives.AddTail(kept);
                    WriteDebugLogF(7, "Drive %s: was added to the item list", kept->drive.c_str());
                    if (SaveItem(*kept) == S_OK) WriteDebugLog(7, "Drive successfully saved into the DB");
                    break;
                }
                case SCOPE_LEADS_TO_JOB: {
                    ScanItem* kept = drive.release();
                    drives.AddTail(kept);
                    WriteDebugLogF(7, "Drive %s: was added to the item list", kept->drive.c_str());
                    break;
                }
                case SCOPE_OUTSIDE:
                    break;
                default:
                    WriteDebugLog(1, "WARNING: Drive excluded !");
                    break;
            }
        }
        return S_OK;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in ReadDrives");
        return E_FAIL;
    }
}

HRESULT ReadFromSystem(ItemList& list, ScanItem* item) {
    if (item == nullptr) {
        ReadDrives(list);
        return WALK_DONE;
    }
    try {
        if (Stopped("Stop Service encountered 1")) return WALK_STOPPED;
        list.RemoveAll();
        WIN32_FIND_DATAA data {};
        HANDLE find = INVALID_HANDLE_VALUE;
        {
            const std::string base = BasePath(*item);
            WriteDebugLogF(5, "Processing path %s", base.c_str());
            find = FindFirstFileA((base + "\\*.*").c_str(), &data);
        }
        if (find == INVALID_HANDLE_VALUE) {
            WriteDebugLogF(3, "No more files were found in the Drive: %s Path: %s ", item->drive.c_str(),
                           item->folder.c_str());
            return WALK_NOT_ENUMERATED;
        }
        struct FindCloser {
            HANDLE h;
            ~FindCloser() { FindClose(h); }
        } closer{find};
        // Declared after the closer: its requests are done with before the
        // listing closes.
        FolderFingerPrints ahead(find, [item] { return BasePath(*item); });
        size_t position = 0, examined = 0;
        // The enumeration read the folder whole when it started: moving on
        // after the entry is done sees the same entries as moving on before.
        for (bool more = true; more; more = FindNextFileA(find, &data) != FALSE) {
            RequestAhead(ahead, find, *item, data, ++position, examined);
            if (g_dwWalkDelay != 0) Sleep(g_dwWalkDelay);
            const char* name = data.cFileName;
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
                if (!kv::platform::IsRepresentableName(name)) {
                    // A "\" in a name would read as a folder boundary in
                    // every path the system builds from it.
                    WriteDebugLogF(1, "Skipping %s\\%s: its name holds a backslash", BasePath(*item).c_str(),
                                   name);
                } else {
                    ProcessEntry(list, *item, find, data, ahead);
                }
            }
            if (Stopped("Stop Service encountered 2")) return WALK_STOPPED;
        }
        return WALK_DONE;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in ReadFromSystem");
        return E_FAIL;
    }
}
