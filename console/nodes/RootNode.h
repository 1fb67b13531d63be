// The snap-in's root: the monitored files, the scan jobs and General.
#pragma once

#include "console/nodes/Node.h"

class CProfilesNode;

class CRootNode : public CNode {
public:
    explicit CRootNode(CComponentData* componentData);
    const GUID& NodeType() const override;
    std::string DisplayName() const override;
    int Image() const override { return IMAGE_ROOT; }
    bool HasScopeChildren() const override { return true; }
    HRESULT OnExpand(IConsoleNameSpace2* nameSpace) override;

    CProfilesNode* m_pProfilesNode = nullptr;
};
