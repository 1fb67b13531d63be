#include "console/nodes/FilesRootNode.h"

#include "common/ResourceModule.h"
#include "console/module/ConsoleGuids.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "console/tree/FileNode.h"
#include "console/tree/ItemProfile.h"
#include "platform/text/CodePage.h"

const GUID& CFilesRootNode::NodeType() const { return NODETYPE_FilesRoot; }

std::string CFilesRootNode::DisplayName() const {
    std::string name;
    LoadResourceString(2, name);
    return name;
}

void CFilesRootNode::LoadDrives() {
    if (m_bDrivesLoaded || m_pComponentData == nullptr) return;
    m_bDrivesLoaded = true;
    for (CFileItem& drive : ReadDrives(m_pComponentData->m_data))
        m_children.push_back(new CFileNode(m_pComponentData, nullptr, std::move(drive)));
}

HRESULT CFilesRootNode::OnExpand(IConsoleNameSpace2* nameSpace) {
    std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
    LoadDrives();
    if (m_pComponentData != nullptr && m_pComponentData->m_pConsole != nullptr) {
        IImageList* images = nullptr;
        if (SUCCEEDED(m_pComponentData->m_pConsole->QueryScopeImageList(&images)) && images != nullptr) {
            AddSystemImages(images);
            images->Release();
        }
    }
    for (CNode* child : m_children) {
        if (child->m_hScopeItem != 0) continue;
        HRESULT hr = InsertScopeChild(nameSpace, child);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CFilesRootNode::GetResultViewType(LPOLESTR* viewType, long* viewOptions) {
    if (viewType != nullptr) *viewType = nullptr;
    if (viewOptions != nullptr) *viewOptions = MMC_VIEW_OPTIONS_EXCLUDE_SCOPE_ITEMS_FROM_LIST | MMC_VIEW_OPTIONS_MULTISELECT;
    return S_FALSE;
}

HRESULT CFilesRootNode::OnShow(CComponent* view, bool selecting) {
    if (!selecting || view == nullptr) return S_OK;
    std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
    LoadDrives();
    if (view->m_pHeader != nullptr) {
        std::string name;
        LoadResourceString(7, name);
        const std::u16string wide = kv::platform::Utf8ToUtf16(name);
        view->m_pHeader->InsertColumn(0, wide.c_str(), LVCFMT_LEFT, 260);
    }
    FillResults(view);
    return S_OK;
}

void CFilesRootNode::FillResults(CComponent* view) { FillFileList(view, m_pComponentData, m_children); }
