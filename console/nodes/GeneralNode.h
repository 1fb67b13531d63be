// General: the settings of every scan job, the program version and the
// product's web pages.
#pragma once

#include "console/nodes/Node.h"

class CGeneralNode : public CNode {
public:
    using CNode::CNode;
    const GUID& NodeType() const override;
    std::string DisplayName() const override;
    int Image() const override { return IMAGE_GENERAL; }
    bool HasScopeChildren() const override { return true; }
    HRESULT OnExpand(IConsoleNameSpace2* nameSpace) override;
    HRESULT GetResultViewType(LPOLESTR* viewType, long* viewOptions) override;
    HRESULT OnInitOcx(IUnknown* control) override;
    void SetVerbs(IConsoleVerb* verbs, bool scopePane) override;
    // "General" and "Excluded extensions".
    HRESULT QueryPagesFor() override { return S_OK; }
    HRESULT CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle) override;
};

class CVersionNode : public CNode {
public:
    using CNode::CNode;
    const GUID& NodeType() const override;
    std::string DisplayName() const override;
    int Image() const override { return IMAGE_VERSION; }
    HRESULT GetResultViewType(LPOLESTR* viewType, long* viewOptions) override;
    void SetVerbs(IConsoleVerb* verbs, bool scopePane) override;
    HRESULT QueryPagesFor() override { return S_OK; }
    HRESULT CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle) override;
};

// A product web page: its name and address are language strings.
class CLinkNode : public CNode {
public:
    CLinkNode(CComponentData* componentData, UINT nameId, UINT addressId)
        : CNode(componentData), m_nameId(nameId), m_addressId(addressId) {}
    const GUID& NodeType() const override;
    std::string DisplayName() const override;
    int Image() const override { return IMAGE_LINK; }
    HRESULT GetResultViewType(LPOLESTR* viewType, long* viewOptions) override;
    std::string Address() const;

private:
    UINT m_nameId;
    UINT m_addressId;
};
