#include "console/snapin/SelectionCommands.h"

#include "common/ResourceModule.h"
#include "console/nodes/FilesRootNode.h"
#include "console/nodes/Node.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "console/tree/FileNode.h"
#include "console/tree/ProfileChange.h"

HRESULT AddSelectionMenuItems(IContextMenuCallback* callback, long* insertionAllowed) {
    if (callback == nullptr) return E_POINTER;
    if (insertionAllowed != nullptr && !(*insertionAllowed & CCM_INSERTIONALLOWED_TOP)) return S_OK;
    std::string caption, status;
    LoadResourceString(26, caption);
    LoadResourceString(46, status);
    return AddMenuCommand(callback, caption, status, IDM_CHOOSE_PROFILE, CCM_INSERTIONPOINTID_PRIMARY_TOP);
}

HRESULT SelectionCommand(CComponent* view, long commandId) {
    if (commandId != IDM_CHOOSE_PROFILE) return S_FALSE;
    ChangeSelectionProfile(view, SelectedFileNodes(view));
    return S_OK;
}

bool ShowsFileTree(CNode* node) {
    return dynamic_cast<CFileNode*>(node) != nullptr || dynamic_cast<CFilesRootNode*>(node) != nullptr;
}

bool OpenFileTreeFolder(CComponent* view, CNode* node) {
    auto* folder = dynamic_cast<CFileNode*>(node);
    if (view == nullptr || view->m_pConsole == nullptr || folder == nullptr || !folder->m_item.isFolder) return false;
    // A folder gets its scope item when its parent is expanded.
    if (folder->m_hScopeItem == 0 && folder->m_pParent != nullptr && folder->m_pParent->m_hScopeItem != 0)
        view->m_pConsole->Expand(folder->m_pParent->m_hScopeItem, TRUE);
    if (folder->m_hScopeItem == 0) return false;
    view->m_pConsole->SelectScopeItem(folder->m_hScopeItem);
    return true;
}
