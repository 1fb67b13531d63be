#include "console/tree/FileNode.h"

#include <algorithm>
#include <cstring>

#include "common/ResourceModule.h"
#include "console/data/Links.h"
#include "console/module/ConsoleGuids.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "console/tree/FileRules.h"
#include "console/tree/ItemProfile.h"
#include "platform/fs/Attributes.h"
#include "console/tree/SystemImageList.h"
#include "platform/fs/Drives.h"
#include "platform/text/CodePage.h"

namespace {

int SmallIcon(const std::string& path, bool open) {
    SHFILEINFOA info{};
    UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON | (open ? SHGFI_OPENICON : 0u);
    SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, flags);
    return info.iIcon;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string FileDisplayName(const std::string& name) {
    return name.size() <= 3 ? "(" + name + ")" : name;
}

bool FileNameLess(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;  // names that differ only in case keep a fixed order
}

std::vector<CFileItem> ReadDrives(const CConsoleData& data) {
    std::vector<CFileItem> drives;
    const int icon = SmallIcon("C:\\", false);
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        UINT type = GetDriveTypeA(root.c_str());
        if (type != DRIVE_FIXED && type != DRIVE_UNKNOWN) continue;
        CFileItem item;
        item.name = root.substr(0, 2);
        item.path = root;
        item.isFolder = true;
        item.icon = item.openIcon = icon;
        item.profile = GetEffectiveProfile(data, root);
        drives.push_back(item);
    }
    return drives;
}

BOOL ReadFolder(const CConsoleData& data, const std::string& folderPath, std::vector<CFileItem>& items) {
    BOOL listed = ListFolder(folderPath, [&](const WIN32_FIND_DATAA& found) {
        CFileItem item;
        item.name = found.cFileName;
        item.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        item.path = folderPath + item.name + (item.isFolder ? "\\" : "");
        item.icon = SmallIcon(item.path, false);
        item.openIcon = item.isFolder ? SmallIcon(item.path, true) : item.icon;
        item.profile = GetEffectiveProfile(data, item.path);
        items.push_back(std::move(item));
    });
    std::sort(items.begin(), items.end(), [](const CFileItem& a, const CFileItem& b) { return FileNameLess(a.name, b.name); });
    return listed;
}

int AssignmentStateOf(CConsoleData& data, const CFileItem& item) {
    const bool monitored = item.profile != 0;
    if (!item.isFolder) return monitored ? STATE_PROFILE : STATE_NONE;
    const bool exceptions = CountExceptions(data, item.path, ExceptionCount::Tree) > 0;
    if (monitored) return exceptions ? STATE_PROFILE_EXCEPTIONS : STATE_PROFILE;
    return exceptions ? STATE_NONE_EXCEPTIONS : STATE_NONE;
}

void AddSystemImages(IImageList* images) {
    if (images == nullptr) return;
    GetSystemImageList();
    const int count = kv::platform::SystemImageCount();
    for (int i = 0; i < count; ++i) {
        const std::string name = kv::platform::SystemImageName(i);
        if (!name.empty()) images->ImageListSetIcon(reinterpret_cast<LONG_PTR*>(KvNamedIcon(name.c_str())), SystemImageSlot(i));
    }
}

CFileNode::CFileNode(CComponentData* componentData, CFileNode* parent, CFileItem item)
    : CNode(componentData), m_item(std::move(item)), m_pParent(parent) {}

const GUID& CFileNode::NodeType() const { return NODETYPE_FileNode; }

std::string CFileNode::DisplayName() const { return FileDisplayName(m_item.name); }

int CFileNode::Image() const { return SystemImageSlot(m_item.icon); }

int CFileNode::OpenImage() const { return SystemImageSlot(m_item.openIcon); }

CFileNode* CFileNode::FindLoaded(const std::string& path) {
    if (m_item.path == path) return this;
    for (size_t i = 0; i < m_children.size(); ++i) {
        CFileNode* child = Child(i);
        if (path.compare(0, child->m_item.path.size(), child->m_item.path) == 0)
            if (CFileNode* found = child->FindLoaded(path)) return found;
    }
    return nullptr;
}

void CFileNode::LoadChildren(CConsoleData& data) {
    if (m_bChildrenLoaded || !m_item.isFolder) return;
    m_bChildrenLoaded = true;
    std::vector<CFileItem> items;
    ReadFolder(data, m_item.path, items);
    m_children.reserve(items.size());
    for (CFileItem& item : items) m_children.push_back(new CFileNode(m_pComponentData, this, std::move(item)));
}

int CFileNode::ComputeState(CConsoleData& data) {
    m_state = AssignmentStateOf(data, m_item);
    m_bStateComputed = true;
    return m_state;
}

HRESULT CFileNode::OnExpand(IConsoleNameSpace2* nameSpace) {
    if (m_pComponentData == nullptr) return E_UNEXPECTED;
    std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
    if (m_bChildrenLoaded)
        CheckNewFiles(m_pComponentData->m_data, nullptr);
    else
        LoadChildren(m_pComponentData->m_data);
    if (m_pComponentData->m_pConsole != nullptr) {
        IImageList* images = nullptr;
        if (SUCCEEDED(m_pComponentData->m_pConsole->QueryScopeImageList(&images)) && images != nullptr) {
            AddSystemImages(images);
            images->Release();
        }
    }
    for (size_t i = 0; i < m_children.size(); ++i) {
        CFileNode* child = Child(i);
        if (!child->m_item.isFolder || child->m_hScopeItem != 0) continue;
        HRESULT hr = InsertScopeChild(nameSpace, child);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CFileNode::GetResultViewType(LPOLESTR* viewType, long* viewOptions) {
    if (viewType != nullptr) *viewType = nullptr;
    // Folders are listed with the files, each with its state image.
    if (viewOptions != nullptr) *viewOptions = MMC_VIEW_OPTIONS_EXCLUDE_SCOPE_ITEMS_FROM_LIST | MMC_VIEW_OPTIONS_MULTISELECT;
    return S_FALSE;
}

HRESULT CFileNode::OnShow(CComponent* view, bool selecting) {
    if (!selecting || view == nullptr || m_pComponentData == nullptr) return S_OK;
    std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
    if (m_bChildrenLoaded)
        CheckNewFiles(m_pComponentData->m_data, view);
    else
        LoadChildren(m_pComponentData->m_data);
    if (view->m_pHeader != nullptr) {
        const std::u16string name = kv::platform::Utf8ToUtf16(ResourceText(7));
        view->m_pHeader->InsertColumn(0, name.c_str(), LVCFMT_LEFT, 260);
    }
    FillResults(view);
    return S_OK;
}

void CFileNode::FillResults(CComponent* view) { FillFileList(view, m_pComponentData, m_children); }

void FillFileList(CComponent* view, CComponentData* owner, const std::vector<CNode*>& items) {
    if (view == nullptr || view->m_pResultData == nullptr || owner == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
    if (view->m_pConsole != nullptr) {
        IImageList* images = nullptr;
        if (SUCCEEDED(view->m_pConsole->QueryResultImageList(&images)) && images != nullptr) {
            AddSystemImages(images);
            images->Release();
        }
    }
    view->m_pResultData->DeleteAllRsltItems();
    for (CNode* node : items) {
        auto* child = static_cast<CFileNode*>(node);
        RESULTDATAITEM item{};
        item.mask = RDI_STR | RDI_IMAGE | RDI_PARAM | RDI_STATE;
        item.str = MMC_CALLBACK;
        item.nImage = child->Image();
        item.nState = INDEXTOSTATEIMAGEMASK(child->ComputeState(owner->m_data) + 2);
        item.lParam = static_cast<LPARAM>(child->Cookie());
        view->m_pResultData->InsertItem(&item);
    }
}

HRESULT CFileNode::AddMenuItems(IContextMenuCallback* callback, long* insertionAllowed) {
    if (callback == nullptr) return E_POINTER;
    if (insertionAllowed != nullptr && !(*insertionAllowed & CCM_INSERTIONALLOWED_TOP)) return S_OK;
    if (!m_bStateComputed && m_pComponentData != nullptr) {
        std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
        ComputeState(m_pComponentData->m_data);
    }
    const std::string kind = ResourceText(m_item.isFolder ? 69 : 70);
    const std::string status = ResourceText(46) + " " + kind;

    HRESULT hr = AddMenuCommand(callback, ResourceText(26), status, IDM_CHOOSE_PROFILE, CCM_INSERTIONPOINTID_PRIMARY_TOP);
    if (FAILED(hr) || m_state == STATE_NONE) return hr;

    std::string caption = ResourceText(85);
    const size_t at = caption.find("%s");
    if (at != std::string::npos) caption.replace(at, 2, kind);
    return AddMenuCommand(callback, caption, caption, IDM_NO_PROFILE, CCM_INSERTIONPOINTID_PRIMARY_TOP);
}

HRESULT CFileNode::Command(long commandId, CComponent* view) {
    switch (commandId) {
        case IDM_CHOOSE_PROFILE:
            ChangeItemProfile(-1, view);
            return S_OK;
        case IDM_NO_PROFILE:
            ChangeItemProfile(0, view);
            return S_OK;
        default:
            return S_FALSE;
    }
}

HRESULT CFileNode::OnRefresh(CComponent* view) {
    if (m_pComponentData != nullptr && m_bChildrenLoaded) {
        std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
        CheckNewFiles(m_pComponentData->m_data, view);
    }
    if (view != nullptr) view->RefreshIfShowing(this);
    return S_OK;
}
