// One scan job.
#pragma once

#include "console/data/ProfileRecord.h"
#include "console/nodes/Node.h"
#include "console/task/ScheduledTask.h"

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
    HRESULT AddMenuItems(IContextMenuCallback* callback, long* insertionAllowed) override;
    HRESULT Command(long commandId, CComponent* view) override;
    HRESULT QueryPagesFor() override { return S_OK; }
    // E-mail, Schedule and Files monitored.
    HRESULT CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle) override;

    // DeleteProfile: asks, refuses while the job's pages are open, deletes.
    // S_OK when the job went.
    HRESULT DeleteProfile(CComponent* view);
    // Writes the opposite of the enabled flag and shows it.
    // Writes the opposite of the enabled flag, saves or deletes the work
    // item to match and shows it.
    void ToggleEnabled();
    // Starts the job's check at once, as the work item would.
    void ScanNow();
    // Opens the job's pages as the properties verb would.
    void OpenPropertySheet();

    CProfilesNode* m_pParent;
    CProfileRecord m_record;
    CScheduledTask m_task;
};
