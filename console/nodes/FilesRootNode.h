// The root of the monitored-files tree: one child per local drive.
#pragma once

#include "console/nodes/Node.h"

class CFilesRootNode : public CNode {
public:
    using CNode::CNode;
    const GUID& NodeType() const override;
    std::string DisplayName() const override;
    int Image() const override { return IMAGE_FILES; }
    bool HasScopeChildren() const override { return true; }
    HRESULT OnExpand(IConsoleNameSpace2* nameSpace) override;
    HRESULT GetResultViewType(LPOLESTR* viewType, long* viewOptions) override;
    HRESULT OnShow(CComponent* view, bool selecting) override;
    void FillResults(CComponent* view) override;

    // Builds the drive nodes (once).
    void LoadDrives();

private:
    bool m_bDrivesLoaded = false;
};
