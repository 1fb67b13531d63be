#include <algorithm>
#include <unordered_set>

#include "console/data/SqlText.h"
#include "console/data/Statements.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "console/tree/FileNode.h"
#include "console/tree/ItemProfile.h"

namespace {

const char* const kFailure = "Error in CFileNode::CheckNewFiles setting FLAG to 1";

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool Shows(CComponent* view, CFileNode* node) {
    if (view == nullptr || view->m_pShownNode == nullptr) return false;
    for (CNode* shown = view->m_pShownNode; shown != nullptr;) {
        if (shown == node) return true;
        auto* file = dynamic_cast<CFileNode*>(shown);
        shown = file != nullptr ? file->m_pParent : nullptr;
    }
    return false;
}

}  // namespace

void CFileNode::CheckNewFiles(CConsoleData& data, CComponent*) {
    if (!m_bChildrenLoaded || m_bCheckingNewFiles) return;
    m_bCheckingNewFiles = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_bCheckingNewFiles};
    std::vector<CFileItem> fresh;
    // A folder that cannot be read now (a drive gone away) keeps its children:
    // reading that as "everything vanished" would drop every setting below.
    if (!ReadFolder(data, m_item.path, fresh)) return;

    IConsoleNameSpace2* nameSpace = m_pComponentData != nullptr ? m_pComponentData->m_pNameSpace : nullptr;
    // Keyed by name and kind: a file replaced by a folder of the same name is
    // one entry gone and one new.
    auto key = [](const CFileItem& item) { return (item.isFolder ? "d:" : "f:") + item.name; };
    std::unordered_set<std::string> onDisk;
    onDisk.reserve(fresh.size());
    for (const CFileItem& item : fresh) onDisk.insert(key(item));

    std::vector<CNode*> kept;
    std::vector<CFileNode*> gone;
    kept.reserve(fresh.size());
    std::unordered_set<std::string> loaded;
    for (size_t i = 0; i < m_children.size(); ++i) {
        CFileNode* child = Child(i);
        if (onDisk.count(key(child->m_item)) != 0) {
            kept.push_back(child);
            loaded.insert(key(child->m_item));
        } else {
            gone.push_back(child);
        }
    }
    // The children are settled before any view moves: moving a view shows
    // this folder again, which must find nothing left to do.
    m_children = std::move(kept);
    for (CFileNode* child : gone) {
        // Gone from disk: every view inside it leaves before its node goes.
        for (CComponent* other : OpenComponents()) {
            if (other->m_pComponentData != m_pComponentData || !Shows(other, child)) continue;
            if (other->m_pConsole != nullptr && m_hScopeItem != 0) other->m_pConsole->SelectScopeItem(m_hScopeItem);
            if (Shows(other, child)) {
                if (other->m_pResultData != nullptr) other->m_pResultData->DeleteAllRsltItems();
                other->m_pShownNode = nullptr;
            }
        }
        RemoveCachedLink(data, Lower(child->m_item.path));
        data.ExecuteStatement(FormatSql(SQL_FOLLOW_FOLDER_BELOW, QuoteSql(child->m_item.path).c_str()), kFailure);
        if (child->m_item.isFolder && child->m_hScopeItem != 0 && nameSpace != nullptr)
            nameSpace->DeleteItem(child->m_hScopeItem, TRUE);
        delete child;
    }

    for (CFileItem& item : fresh) {
        if (loaded.count(key(item)) != 0) continue;
        data.ExecuteStatement(FormatSql(SQL_DELETE_LINK, QuoteSql(item.path).c_str()), kFailure);
        auto* node = new CFileNode(m_pComponentData, this, item);
        auto at = std::upper_bound(m_children.begin(), m_children.end(), node, [](CNode* a, CNode* b) {
            return FileNameLess(static_cast<CFileNode*>(a)->m_item.name, static_cast<CFileNode*>(b)->m_item.name);
        });
        m_children.insert(at, node);
        if (node->m_item.isFolder && m_bExpanded && m_hScopeItem != 0 && nameSpace != nullptr)
            InsertScopeChild(nameSpace, node);
    }
}
