// What the console host learns about a node: one node (or the result pane's
// multi-selection) in the clipboard formats of the snap-in interfaces.
#pragma once

#include "console/snapin/ComObject.h"
#include "platform/mmc/SnapIn.h"

class CNode;

class CDataObject : public IDataObject {
public:
    CDataObject() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    ORV_COM_REFCOUNT();

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    CNode* m_pNode = nullptr;
    DATA_OBJECT_TYPES m_type = CCT_UNINITIALIZED;
    bool m_bMultiSelect = false;  // stands for the result pane's selection

    // The clipboard formats, registered on first use.
    static UINT s_cfDisplayName;
    static UINT s_cfNodeType;
    static UINT s_cfSzNodeType;
    static UINT s_cfSnapinClsid;
    static UINT s_cfBaseNodePtr;
    static UINT s_cfDataObjectPtr;
    static UINT s_cfObjectTypesInMultiSelect;
    static UINT s_cfMultiSelectDataObject;
    static UINT s_cfMultiSelectSnapins;
    static void RegisterFormats();
};

// A new data object for a node; null when memory runs out.
HRESULT CreateDataObject(CNode* node, DATA_OBJECT_TYPES type, LPDATAOBJECT* dataObject);
// The snap-in's own data object behind an interface the host passes back;
// null for a data object of anyone else (the host's multi-selection, ...).
CDataObject* ExtractOwnDataObject(LPDATAOBJECT dataObject);
CNode* ExtractNode(LPDATAOBJECT dataObject);
