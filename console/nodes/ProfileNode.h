// One scan job.
#pragma once

#include "console/data/ProfileRecord.h"
#include "console/nodes/Node.h"

class CProfilesNode;

#define IDM_SCAN_NOW 261

class CProfileNode : public CNode {
public:
    CProfileNode(CComponentData* componentData, CProfilesNode* parent, const CProfileRecord& record);
    const GUID& NodeType() const override;
    std::string DisplayName() const override { return m_record.name; }
    int Image() const override { return m_record.enabled ? IMAGE_PROFILE_ENABLED : IMAGE_PROFILE_DISABLED; }
    HRESULT GetResultViewType(LPOLESTR* viewType, long* viewOptions) override;
    HRESULT OnInitOcx(IUnknown* control) override;
    std::string ResultColumnText(int column) const override;
    void SetVerbs(IConsoleVerb* verbs, bool scopePane) override;
    HRESULT OnDelete(CComponent* view) override;
    HRESULT OnRename(const std::string& newName, CComponent* view) override;

    // DeleteProfile: asks, refuses while the job's pages are open, deletes.
    // S_OK when the job went.
    HRESULT DeleteProfile(CComponent* view);
    // Writes the opposite of the enabled flag and shows it.
    void ToggleEnabled();

    CProfilesNode* m_pParent;
    CProfileRecord m_record;
};
