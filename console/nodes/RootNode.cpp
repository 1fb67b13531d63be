#include "console/nodes/RootNode.h"

#include "common/ResourceModule.h"
#include "console/module/ConsoleGuids.h"
#include "console/nodes/FilesRootNode.h"
#include "console/nodes/GeneralNode.h"
#include "console/nodes/ProfilesNode.h"

CRootNode::CRootNode(CComponentData* componentData) : CNode(componentData) {}

const GUID& CRootNode::NodeType() const { return NODETYPE_Root; }

std::string CRootNode::DisplayName() const {
    std::string name;
    LoadResourceString(100, name);
    return name;
}

HRESULT CRootNode::OnExpand(IConsoleNameSpace2* nameSpace) {
    DeleteChildren();
    m_pProfilesNode = new CProfilesNode(m_pComponentData);
    m_children = {new CFilesRootNode(m_pComponentData), m_pProfilesNode, new CGeneralNode(m_pComponentData)};
    for (CNode* child : m_children) {
        HRESULT hr = InsertScopeChild(nameSpace, child);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}
