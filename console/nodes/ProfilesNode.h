// The scan jobs: one child per row of the scan-job table, listed with name,
// recipients and status; new scan jobs are made here.
#pragma once

#include "console/data/ProfileRecord.h"
#include "console/nodes/Node.h"

class CProfileNode;

#define IDM_NEW_PROFILE 248

class CProfilesNode : public CNode {
public:
    using CNode::CNode;
    const GUID& NodeType() const override;
    std::string DisplayName() const override;
    int Image() const override { return IMAGE_PROFILES; }
    bool HasScopeChildren() const override { return true; }
    HRESULT OnExpand(IConsoleNameSpace2* nameSpace) override;
    HRESULT GetResultViewType(LPOLESTR* viewType, long* viewOptions) override;
    HRESULT OnShow(CComponent* view, bool selecting) override;
    void FillResults(CComponent* view) override;
    HRESULT AddMenuItems(IContextMenuCallback* callback, long* insertionAllowed) override;
    HRESULT Command(long commandId, CComponent* view) override;

    // Builds the scan-job nodes from the table.
    void ReadProfiles();
    // Makes a scan job of that name unless a message refuses it; the new
    // node, or null.
    CProfileNode* CreateProfile(const std::string& name);
    // Takes a deleted job's node out of the child list and deletes it.
    void RemoveProfile(CProfileNode* node);
    CProfileNode* FindProfile(const std::string& name) const;
};
