// A node of the console's scope tree. Each node class knows its name, its
// images, what its result pane shows, its context-menu commands and the
// verbs it takes; the snap-in's COM classes dispatch to it.
#pragma once

#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"

class CComponentData;
class CComponent;

// Indexes into the node image strips.
enum NodeImage {
    IMAGE_ROOT = 0,
    IMAGE_FILES = 1,
    IMAGE_PROFILE_ENABLED = 2,
    IMAGE_PROFILES = 3,
    IMAGE_PROFILE_DISABLED = 4,
    IMAGE_GENERAL = 5,
    IMAGE_VERSION = 6,
    IMAGE_LINK = 7,
    IMAGE_COUNT = 8,
};

// The image names of the strips, in index order.
extern const char* const kNodeImageNames[IMAGE_COUNT];

class CNode {
public:
    explicit CNode(CComponentData* componentData) : m_pComponentData(componentData) {}
    virtual ~CNode();
    CNode(const CNode&) = delete;
    CNode& operator=(const CNode&) = delete;

    virtual const GUID& NodeType() const = 0;
    virtual std::string DisplayName() const = 0;
    virtual int Image() const = 0;
    virtual int OpenImage() const { return Image(); }
    // Whether the node has children in the scope pane.
    virtual bool HasScopeChildren() const { return false; }

    // Builds and inserts the children below the node's scope item.
    virtual HRESULT OnExpand(IConsoleNameSpace2* nameSpace);

    // The result pane: S_FALSE (and nothing in *viewType) for the list.
    virtual HRESULT GetResultViewType(LPOLESTR* viewType, long* viewOptions);
    // Fills or leaves the list of a view that shows (or stops showing) the node.
    virtual HRESULT OnShow(CComponent* view, bool selecting);
    // Puts the node's result items into a view's emptied list (a refresh
    // keeps the columns).
    virtual void FillResults(CComponent* view);
    // Texts of the node when it is an item of its parent's result list.
    virtual std::string ResultColumnText(int column) const;
    // The message view's text, when the result pane is one.
    virtual HRESULT OnInitOcx(IUnknown* control);

    // Verbs this node offers when selected.
    virtual void SetVerbs(IConsoleVerb* verbs, bool scopePane);
    virtual HRESULT AddMenuItems(IContextMenuCallback* callback, long* insertionAllowed);
    virtual HRESULT Command(long commandId, CComponent* view);
    virtual HRESULT OnDelete(CComponent* view);
    // S_OK keeps the new name, anything else the old one.
    virtual HRESULT OnRename(const std::string& newName, CComponent* view);
    virtual HRESULT OnRefresh(CComponent* view);
    // The node's property pages: S_OK from QueryPagesFor when it has any.
    virtual HRESULT QueryPagesFor() { return S_FALSE; }
    virtual HRESULT CreatePropertyPages(LPPROPERTYSHEETCALLBACK, LONG_PTR) { return S_FALSE; }


    // Inserts a child node into the scope pane below this node.
    HRESULT InsertScopeChild(IConsoleNameSpace2* nameSpace, CNode* child);
    // Empties the child list (the scope items go with the console's).
    void DeleteChildren();

    MMC_COOKIE Cookie() { return reinterpret_cast<MMC_COOKIE>(this); }

    CComponentData* m_pComponentData;
    HSCOPEITEM m_hScopeItem = 0;
    bool m_bExpanded = false;
    std::vector<CNode*> m_children;  // owned
};

// Offers a verb: shown and enabled, whatever the console's default.
void ShowVerb(IConsoleVerb* verbs, MMC_CONSOLE_VERB verb);
// Adds one command to a context menu; the status text is what the console
// shows while the pointer is on it.
HRESULT AddMenuCommand(IContextMenuCallback* callback, const std::string& caption, const std::string& status,
                       long commandId, long insertionPoint);

// A text allocated for the console host (CoTaskMemAlloc), or null.
LPOLESTR AllocHostText(const std::string& text);
