#include "console/tree/ProfileChange.h"

#include "console/data/SqlText.h"
#include "console/data/Statements.h"
#include "console/dialogs/SelectProfileDlg.h"
#include "console/dialogs/SetFilesWaitDlg.h"
#include "console/nodes/FilesRootNode.h"
#include "console/nodes/RootNode.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "console/tree/FileNode.h"
#include "console/tree/ItemProfile.h"

namespace {

bool IsWithin(CNode* shown, CFileNode& node) {
    for (auto* file = dynamic_cast<CFileNode*>(shown); file != nullptr; file = file->m_pParent)
        if (file == &node) return true;
    return false;
}

void ChangeOneDuringSweep(CConsoleData& data, CFileNode& node, LONG removed) {
    node.m_restrictProfile = removed;
    const LONG old = node.m_item.profile;
    node.m_item.profile = 0;
    node.m_bStateComputed = false;
    if (node.m_item.isFolder) UpdateLoadedDescendants(node, old, 0, true, removed);
    SetItemProfile(data, node, !node.m_item.isFolder, true);
    node.m_restrictProfile = -1;
}

void Sweep(CConsoleData& data, CFileNode& node, LONG removed) {
    if (node.m_item.profile == removed) {
        ChangeOneDuringSweep(data, node, removed);
        return;
    }
    if (!node.m_item.isFolder) return;
    for (size_t i = 0; i < node.m_children.size(); ++i) Sweep(data, *node.Child(i), removed);
}

CNode* FilesRootOf(CComponentData* componentData) {
    if (componentData == nullptr || componentData->m_pRoot == nullptr) return nullptr;
    for (CNode* child : reinterpret_cast<CNode*>(componentData->m_pRoot)->m_children)
        if (dynamic_cast<CFilesRootNode*>(child) != nullptr) return child;
    return nullptr;
}

}  // namespace

void ApplyProfileInMemory(CFileNode& node, LONG profile, bool thisOnly, bool anyProfile) {
    const LONG old = node.m_item.profile;
    node.m_item.profile = profile;
    node.m_bStateComputed = false;
    if (!thisOnly && node.m_item.isFolder) UpdateLoadedDescendants(node, old, profile, anyProfile, -1);
}

void RemoveProfileFromTree(CConsoleData& data, CNode* filesRoot, LONG removed) {
    if (filesRoot != nullptr)
        for (CNode* drive : filesRoot->m_children)
            if (auto* node = dynamic_cast<CFileNode*>(drive)) Sweep(data, *node, removed);
    // Rows of the job below folders never loaded would otherwise keep naming a
    // job that no longer exists, and the engine would leave those paths out of
    // every check; they become explicit "no scan job" settings instead.
    data.ExecuteStatement(FormatSql(SQL_RELEASE_PROFILE_LINKS, static_cast<int>(removed)), "Error in SetItemProfile");
    for (CLinkEntry& entry : data.m_links)
        if (entry.id == removed) entry.id = 0;
}

void RunProfileRemoval(CComponentData* componentData, LONG removed) {
    if (componentData == nullptr) return;
    CNode* filesRoot = FilesRootOf(componentData);
    RunSettingFiles([&](CSetFilesWaitDlg& dialog) {
        // The nodes change on the UI thread, which draws them.
        dialog.RunOnUiThread([&] {
            std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
            RemoveProfileFromTree(componentData->m_data, filesRoot, removed);
        });
    });
    if (filesRoot != nullptr) {
        for (CComponent* view : OpenComponents())
            if (view->m_pComponentData == componentData && view->m_pShownNode != nullptr &&
                (view->m_pShownNode == filesRoot || dynamic_cast<CFileNode*>(view->m_pShownNode) != nullptr))
                view->RefreshIfShowing(view->m_pShownNode);
    }
}

void RefreshViewsAfterChange(CFileNode& node) {
    for (CComponent* view : OpenComponents()) {
        if (view->m_pComponentData != node.m_pComponentData || view->m_pShownNode == nullptr) continue;
        CNode* shown = view->m_pShownNode;
        const bool parentShown = node.m_pParent != nullptr ? shown == node.m_pParent
                                                            : dynamic_cast<CFilesRootNode*>(shown) != nullptr;
        if (parentShown || IsWithin(shown, node)) view->RefreshIfShowing(shown);
    }
}

void CFileNode::ChangeItemProfile(long mode, CComponent*) {
    if (m_pComponentData == nullptr) return;
    CConsoleData& data = m_pComponentData->m_data;
    CProfileChoice choice;
    if (mode < 0) {
        if (!m_bStateComputed) ComputeState(data);
        const bool exceptions = m_state == STATE_PROFILE_EXCEPTIONS || m_state == STATE_NONE_EXCEPTIONS;
        if (!AskItemProfile(m_item.isFolder ? SelectWording::Folder : SelectWording::File, data.m_profiles,
                            m_item.profile, m_item.isFolder && exceptions, choice))
            return;
        if (!m_item.isFolder) choice.thisOnly = true;
    } else {
        choice.profile = static_cast<LONG>(mode);
        choice.anyProfile = true;
        choice.thisOnly = !m_item.isFolder;
    }
    {
        std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
        ApplyProfileInMemory(*this, choice.profile, choice.thisOnly, choice.anyProfile);
        ComputeState(data);
    }
    RunSettingFiles([&](CSetFilesWaitDlg&) {
        std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
        SetItemProfile(data, *this, choice.thisOnly, choice.anyProfile);
    });
    RefreshViewsAfterChange(*this);
}

std::vector<CFileNode*> SelectedFileNodes(CComponent* view) {
    std::vector<CFileNode*> nodes;
    if (view == nullptr || view->m_pResultData == nullptr) return nodes;
    if (dynamic_cast<CFileNode*>(view->m_pShownNode) == nullptr &&
        dynamic_cast<CFilesRootNode*>(view->m_pShownNode) == nullptr)
        return nodes;
    RESULTDATAITEM item{};
    item.mask = RDI_STATE | RDI_PARAM;
    item.nIndex = -1;
    item.nState = LVIS_SELECTED;
    while (view->m_pResultData->GetNextItem(&item) == S_OK && item.nIndex >= 0) {
        if (auto* node = dynamic_cast<CFileNode*>(reinterpret_cast<CNode*>(item.lParam))) nodes.push_back(node);
        item.nState = LVIS_SELECTED;
    }
    return nodes;
}

void ChangeSelectionProfile(CComponent* view, const std::vector<CFileNode*>& nodes) {
    if (nodes.empty() || view == nullptr || view->m_pComponentData == nullptr) return;
    if (nodes.size() == 1) {
        nodes.front()->ChangeItemProfile(-1, view);
        return;
    }
    CConsoleData& data = view->m_pComponentData->m_data;
    bool anyFolder = false;
    for (CFileNode* node : nodes) anyFolder = anyFolder || node->m_item.isFolder;
    CProfileChoice choice;
    if (!AskItemProfile(anyFolder ? SelectWording::Selection : SelectWording::File, data.m_profiles,
                        nodes.front()->m_item.profile, false, choice))
        return;
    RunSettingFiles([&](CSetFilesWaitDlg& dialog) {
        for (CFileNode* node : nodes) {
            const bool thisOnly = choice.thisOnly || !node->m_item.isFolder;
            dialog.RunOnUiThread([&] {
                std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
                ApplyProfileInMemory(*node, choice.profile, thisOnly, choice.anyProfile);
            });
            std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
            SetItemProfile(data, *node, thisOnly, choice.anyProfile);
        }
    });
    for (CFileNode* node : nodes) RefreshViewsAfterChange(*node);
}
