// A drive, folder or file of the monitored-files tree, and the scan job it
// belongs to. Drives and folders are scope nodes whose children (folders and
// files) are loaded on first expansion; files live only in their folder's
// result list.
#pragma once

#include <string>
#include <vector>

#include "console/data/ConsoleData.h"
#include "console/nodes/Node.h"

struct CFileItem {
    std::string name;  // "C:" for a drive
    std::string path;  // "C:\", "C:\Data\" (folders end with "\"), "C:\Data\a.txt"
    bool isFolder = false;  // drives count as folders
    int icon = 0;           // system image list indexes
    int openIcon = 0;
    LONG profile = 0;  // 0: monitored by no scan job
};

// Assignment states, each drawn as state image state + 2.
enum AssignmentState {
    STATE_NONE = 0,             // no scan job, nothing explicit below
    STATE_PROFILE = 1,          // a scan job, nothing explicit below
    STATE_PROFILE_EXCEPTIONS = 2,
    STATE_NONE_EXCEPTIONS = 3,
};

#define IDM_CHOOSE_PROFILE 201
#define IDM_NO_PROFILE 263

class CFileNode : public CNode {
public:
    CFileNode(CComponentData* componentData, CFileNode* parent, CFileItem item);

    const GUID& NodeType() const override;
    std::string DisplayName() const override;
    int Image() const override;
    int OpenImage() const override;
    bool HasScopeChildren() const override { return m_item.isFolder; }
    HRESULT OnExpand(IConsoleNameSpace2* nameSpace) override;
    HRESULT GetResultViewType(LPOLESTR* viewType, long* viewOptions) override;
    HRESULT OnShow(CComponent* view, bool selecting) override;
    void FillResults(CComponent* view) override;
    HRESULT AddMenuItems(IContextMenuCallback* callback, long* insertionAllowed) override;
    HRESULT Command(long commandId, CComponent* view) override;
    HRESULT OnRefresh(CComponent* view) override;

    // Reads the folder from disk into the child list (once).
    void LoadChildren(CConsoleData& data);
    // Reconciles loaded children with the disk: vanished ones go (their rows
    // follow their folder from now on), new ones come with no row of their own.
    void CheckNewFiles(CConsoleData& data, CComponent* view);
    // Computes the assignment state afresh (a folder asks the database for
    // explicit rows below it).
    int ComputeState(CConsoleData& data);
    // Command 201 (mode -1: ask), 263 and a state-image click (mode 0 or 1).
    void ChangeItemProfile(long mode, CComponent* view);

    // The children as file nodes, in their sorted order.
    CFileNode* Child(size_t index) const { return static_cast<CFileNode*>(m_children[index]); }
    // The node whose path this is, among the loaded nodes below this one.
    CFileNode* FindLoaded(const std::string& path);

    CFileItem m_item;
    CFileNode* m_pParent;  // null for a drive
    bool m_bChildrenLoaded = false;
    int m_state = STATE_NONE;
    bool m_bStateComputed = false;
    LONG m_restrictProfile = -1;  // set only while a deleted scan job is swept
    bool m_bCheckingNewFiles = false;
};

// "(C:)" for names of at most three characters, else the name.
std::string FileDisplayName(const std::string& name);
// One item per drive of fixed or unknown type, A: to Z:.
std::vector<CFileItem> ReadDrives(const CConsoleData& data);
// One item per shown entry of the folder, sorted; FALSE when the folder could
// not be listed (what was listed is kept).
BOOL ReadFolder(const CConsoleData& data, const std::string& folderPath, std::vector<CFileItem>& items);
// The order of children: by name, case-insensitively first.
bool FileNameLess(const std::string& a, const std::string& b);
// The state of an item from its scan job and the explicit rows below it.
int AssignmentStateOf(CConsoleData& data, const CFileItem& item);
// The image index of a system image in the console's image lists (after the
// node images).
inline int SystemImageSlot(int icon) { return IMAGE_COUNT + icon; }
// Hands every system image known so far to an image list of the console.
void AddSystemImages(IImageList* images);
// Lists file nodes (drives or a folder's entries) in the view's result pane,
// each with its state image.
void FillFileList(CComponent* view, CComponentData* owner, const std::vector<CNode*>& items);
