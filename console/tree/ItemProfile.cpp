#include "console/tree/ItemProfile.h"

#include <algorithm>
#include <functional>

#include "common/DebugLog.h"
#include "console/data/Links.h"
#include "console/data/SqlText.h"
#include "console/data/Statements.h"
#include "console/tree/FileNode.h"
#include "console/tree/FileRules.h"
#include "platform/fs/Attributes.h"

namespace {

const char* const kFailure = "Error in SetItemProfile";

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void RemoveCachedIf(CConsoleData& data, const std::function<bool(const CLinkEntry&)>& test) {
    auto& links = data.m_links;
    links.erase(std::remove_if(links.begin(), links.end(), test), links.end());
}

bool Contains(const CLinkEntry& entry, const std::string& lowerPath) {
    return entry.path.find(lowerPath) != std::string::npos;
}

void DeleteRow(CConsoleData& data, const std::string& quoted) {
    data.ExecuteStatement(FormatSql(SQL_DELETE_LINK, quoted.c_str()), kFailure);
}

void InsertRow(CConsoleData& data, LONG id, const std::string& path) {
    data.ExecuteStatement(
        FormatSql(SQL_INSERT_LINK, static_cast<int>(id), QuoteSql(path).c_str(), PathFingerprint(path).c_str()),
        kFailure);
}

// Pins a child to the scan job it has, so that it keeps it whatever its
// folder becomes.
void PinEntry(CConsoleData& data, const std::string& path, LONG id) {
    DeleteRow(data, QuoteSql(path));
    SetCachedLink(data, Lower(path), id);
    InsertRow(data, id, path);
}

void PinChildren(CConsoleData& data, CFileNode& node) {
    if (node.m_bChildrenLoaded) {
        for (size_t i = 0; i < node.m_children.size(); ++i) {
            const CFileItem& child = node.Child(i)->m_item;
            PinEntry(data, child.path, child.profile);
        }
        return;
    }
    // The effective job of each entry is looked up before the folder's own
    // entry changes, so each keeps the job it had.
    std::vector<std::string> entries;
    BOOL listed = ListFolder(node.m_item.path, [&](const WIN32_FIND_DATAA& found) {
        std::string path = node.m_item.path + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) path += "\\";
        entries.push_back(path);
    });
    if (!listed) WriteDebugLog(1, "Error setting the new profile for unexpanded folder!");
    for (const std::string& path : entries) {
        // Looked up before the entry's own cached setting goes: an entry with
        // a job of its own keeps that one, not its folder's.
        const LONG before = GetEffectiveProfile(data, Lower(path));
        DeleteRow(data, QuoteSql(path));
        RemoveCachedLink(data, Lower(path));
        SetCachedLink(data, Lower(path), before);
        InsertRow(data, before, path);
    }
}

// The engine walks a drive only when its root has a row; a drive without one
// would hide every setting below it from every check, while the tree shows it
// as belonging to no scan job. Its explicit "no scan job" row says the same
// to both.
void EnsureDriveRow(CConsoleData& data, const std::string& path) {
    if (path.size() <= 3 || path[1] != ':' || path[2] != '\\') return;
    const std::string root = path.substr(0, 3);
    const std::string lowerRoot = Lower(root);
    for (const CLinkEntry& entry : data.m_links)
        if (entry.path == lowerRoot) return;
    DeleteRow(data, QuoteSql(root));
    InsertRow(data, 0, root);
    SetCachedLink(data, lowerRoot, 0);
}

}  // namespace

std::recursive_mutex& TreeDataMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

void SetCachedLink(CConsoleData& data, const std::string& lowerPath, LONG id) {
    // One entry per path: a second one would be shadowed by the first and the
    // old job would still be read.
    for (CLinkEntry& entry : data.m_links) {
        if (entry.path == lowerPath) {
            entry.id = id;
            RemoveCachedIf(data, [&](const CLinkEntry& e) { return e.path == lowerPath && &e != &entry; });
            return;
        }
    }
    data.m_links.push_back({lowerPath, id});
}

void RemoveCachedLink(CConsoleData& data, const std::string& lowerPath) {
    RemoveCachedIf(data, [&](const CLinkEntry& e) { return e.path == lowerPath; });
}

void SetItemProfile(CConsoleData& data, CFileNode& node, bool thisOnly, bool anyProfile) {
    const std::string& path = node.m_item.path;
    const std::string quoted = QuoteSql(path);
    const std::string lower = Lower(path);
    const int p = static_cast<int>(node.m_item.profile);
    const LONG restrict = node.m_restrictProfile;
    const bool sameAsParent = node.m_pParent != nullptr && node.m_pParent->m_item.profile == node.m_item.profile;
    EnsureDriveRow(data, path);

    if (thisOnly) {
        if (!node.m_item.isFolder)
            RemoveCachedLink(data, lower);
        else
            PinChildren(data, node);
        if (sameAsParent) {
            data.ExecuteStatement(FormatSql(SQL_SET_LINK_FOLLOWS, p, quoted.c_str()), kFailure);
            // The row now follows its folder; a cached explicit job would
            // still decide the children's effective job.
            RemoveCachedLink(data, lower);
        } else {
            DeleteRow(data, quoted);
            InsertRow(data, p, path);
            SetCachedLink(data, lower, p);
        }
        return;
    }

    if (sameAsParent) {
        if (!anyProfile) {
            data.ExecuteStatement(
                FormatSql(SQL_SET_SUBTREE_SAME_AS_PARENT, p, quoted.c_str(), p, quoted.c_str()), kFailure);
            RemoveCachedIf(data, [&](const CLinkEntry& e) {
                return e.path == lower || (Contains(e, lower) && (e.id == p || e.id == 0));
            });
        } else if (restrict >= 0) {
            data.ExecuteStatement(
                FormatSql(SQL_SET_SUBTREE_OF_PROFILE, p, quoted.c_str(), static_cast<int>(restrict)), kFailure);
            RemoveCachedIf(data, [&](const CLinkEntry& e) { return Contains(e, lower) && e.id == restrict; });
        } else {
            data.ExecuteStatement(FormatSql(SQL_SET_SUBTREE_ANY, p, quoted.c_str()), kFailure);
            RemoveCachedIf(data, [&](const CLinkEntry& e) { return Contains(e, lower); });
        }
        return;
    }

    DeleteRow(data, quoted);
    if (!anyProfile) {
        data.ExecuteStatement(
            FormatSql(SQL_SET_SUBTREE_BELOW, p, quoted.c_str(), p, quoted.c_str(), quoted.c_str()), kFailure);
        RemoveCachedIf(data, [&](const CLinkEntry& e) {
            return e.path == lower || (Contains(e, lower) && (e.id == p || e.id == 0));
        });
    } else if (restrict >= 0) {
        data.ExecuteStatement(
            FormatSql(SQL_SET_BELOW_OF_PROFILE, p, quoted.c_str(), quoted.c_str(), static_cast<int>(restrict)),
            kFailure);
        RemoveCachedIf(data, [&](const CLinkEntry& e) { return Contains(e, lower) && e.id == restrict; });
    } else {
        data.ExecuteStatement(FormatSql(SQL_SET_BELOW_ANY, p, quoted.c_str(), quoted.c_str()), kFailure);
        RemoveCachedIf(data, [&](const CLinkEntry& e) { return Contains(e, lower); });
    }
    InsertRow(data, p, path);
    SetCachedLink(data, lower, p);
}

void UpdateLoadedDescendants(CFileNode& node, LONG oldProfile, LONG newProfile, bool anyProfile, LONG removed) {
    for (size_t i = 0; i < node.m_children.size(); ++i) {
        CFileNode& child = *node.Child(i);
        LONG& id = child.m_item.profile;
        const bool takes = removed >= 0 ? id == removed : (anyProfile || id == 0 || id == oldProfile);
        if (takes) {
            id = newProfile;
            child.m_bStateComputed = false;
        }
        UpdateLoadedDescendants(child, oldProfile, newProfile, anyProfile, removed);
    }
}
