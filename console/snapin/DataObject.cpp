#include "console/snapin/DataObject.h"

#include <cstring>
#include <mutex>
#include <string>

#include "console/module/ConsoleGuids.h"
#include "console/nodes/Node.h"
#include "platform/mmc/GlobalMemory.h"

UINT CDataObject::s_cfDisplayName = 0;
UINT CDataObject::s_cfNodeType = 0;
UINT CDataObject::s_cfSzNodeType = 0;
UINT CDataObject::s_cfSnapinClsid = 0;
UINT CDataObject::s_cfBaseNodePtr = 0;
UINT CDataObject::s_cfDataObjectPtr = 0;
UINT CDataObject::s_cfObjectTypesInMultiSelect = 0;
UINT CDataObject::s_cfMultiSelectDataObject = 0;
UINT CDataObject::s_cfMultiSelectSnapins = 0;

namespace {

std::once_flag g_formatsRegistered;

// Writes bytes at the start of the caller's block, as GetDataHere must.
HRESULT WriteToMedium(STGMEDIUM* medium, const void* data, ULONG size) {
    if (medium == nullptr || medium->tymed != TYMED_HGLOBAL || medium->hGlobal == nullptr) return DV_E_TYMED;
    LPSTREAM stream = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(medium->hGlobal, FALSE, &stream);
    if (FAILED(hr)) return hr;
    ULONG written = 0;
    hr = stream->Write(data, size, &written);
    stream->Release();
    return FAILED(hr) ? hr : (written == size ? S_OK : STG_E_MEDIUMFULL);
}

}  // namespace

void CDataObject::RegisterFormats() {
    std::call_once(g_formatsRegistered, [] {
        s_cfDisplayName = RegisterClipboardFormatW(CCF_DISPLAY_NAME);
        s_cfNodeType = RegisterClipboardFormatW(CCF_NODETYPE);
        s_cfSzNodeType = RegisterClipboardFormatW(CCF_SZNODETYPE);
        s_cfSnapinClsid = RegisterClipboardFormatW(CCF_SNAPIN_CLASSID);
        s_cfBaseNodePtr = RegisterClipboardFormatW(u"CCF_BASENODE_PTR");
        s_cfDataObjectPtr = RegisterClipboardFormatW(u"CCF_DATAOBJ_PTR");
        s_cfObjectTypesInMultiSelect = RegisterClipboardFormatW(CCF_OBJECT_TYPES_IN_MULTI_SELECT);
        s_cfMultiSelectDataObject = RegisterClipboardFormatW(CCF_MMC_MULTISELECT_DATAOBJECT);
        s_cfMultiSelectSnapins = RegisterClipboardFormatW(CCF_MULTI_SELECT_SNAPINS);
    });
}

STDMETHODIMP CDataObject::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDataObject) return ReturnInterface<IDataObject>(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CDataObject::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
    if (format == nullptr || medium == nullptr) return E_POINTER;
    RegisterFormats();
    const UINT cf = format->cfFormat;
    if (cf == s_cfDataObjectPtr) {
        CDataObject* self = this;
        return WriteToMedium(medium, &self, sizeof self);
    }
    if (cf == s_cfSnapinClsid) return WriteToMedium(medium, &CLSID_ComponentData, sizeof(CLSID));
    if (m_pNode == nullptr) return DV_E_CLIPFORMAT;
    if (cf == s_cfBaseNodePtr) {
        CNode* node = m_pNode;
        return WriteToMedium(medium, &node, sizeof node);
    }
    if (cf == s_cfNodeType) return WriteToMedium(medium, &m_pNode->NodeType(), sizeof(GUID));
    if (cf == s_cfSzNodeType) {
        std::u16string text = kv::platform::Utf8ToUtf16(kv::platform::GuidText(m_pNode->NodeType()));
        return WriteToMedium(medium, text.c_str(), static_cast<ULONG>((text.size() + 1) * sizeof(char16_t)));
    }
    if (cf == s_cfDisplayName) {
        std::u16string text = kv::platform::Utf8ToUtf16(m_pNode->DisplayName());
        return WriteToMedium(medium, text.c_str(), static_cast<ULONG>((text.size() + 1) * sizeof(char16_t)));
    }
    return DV_E_CLIPFORMAT;
}

STDMETHODIMP CDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (format == nullptr || medium == nullptr) return E_POINTER;
    RegisterFormats();
    if (format->cfFormat != s_cfObjectTypesInMultiSelect) {
        // Every other format is written into a block of the caller's.
        HGLOBAL block = GlobalAlloc(GHND, 1024);
        if (block == nullptr) return E_OUTOFMEMORY;
        STGMEDIUM here{};
        here.tymed = TYMED_HGLOBAL;
        here.hGlobal = block;
        HRESULT hr = GetDataHere(format, &here);
        if (FAILED(hr)) {
            GlobalFree(block);
            return hr;
        }
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    // The node types of a multi-selection: all of one kind here.
    if (m_pNode == nullptr) return DV_E_CLIPFORMAT;
    HGLOBAL block = GlobalAlloc(GHND, sizeof(SMMCObjectTypes));
    if (block == nullptr) return E_OUTOFMEMORY;
    auto* types = static_cast<SMMCObjectTypes*>(GlobalLock(block));
    types->count = 1;
    types->guid[0] = m_pNode->NodeType();
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP CDataObject::QueryGetData(FORMATETC* format) {
    if (format == nullptr) return E_POINTER;
    RegisterFormats();
    const UINT cf = format->cfFormat;
    if (cf == s_cfDataObjectPtr || cf == s_cfSnapinClsid) return S_OK;
    if (m_pNode != nullptr && (cf == s_cfBaseNodePtr || cf == s_cfNodeType || cf == s_cfSzNodeType ||
                               cf == s_cfDisplayName || cf == s_cfObjectTypesInMultiSelect))
        return S_OK;
    return DV_E_FORMATETC;
}

HRESULT CreateDataObject(CNode* node, DATA_OBJECT_TYPES type, LPDATAOBJECT* dataObject) {
    if (dataObject == nullptr) return E_POINTER;
    *dataObject = nullptr;
    auto* object = new (std::nothrow) CDataObject;
    if (object == nullptr) return E_OUTOFMEMORY;
    object->m_pNode = node;
    object->m_type = type;
    return object->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(dataObject));
}

CDataObject* ExtractOwnDataObject(LPDATAOBJECT dataObject) {
    if (dataObject == nullptr) return nullptr;
    CDataObject::RegisterFormats();
    HGLOBAL block = GlobalAlloc(GHND, sizeof(CDataObject*));
    if (block == nullptr) return nullptr;
    FORMATETC format = {static_cast<CLIPFORMAT>(CDataObject::s_cfDataObjectPtr), nullptr, DVASPECT_CONTENT, -1,
                        TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    CDataObject* object = nullptr;
    if (SUCCEEDED(dataObject->GetDataHere(&format, &medium))) {
        void* data = GlobalLock(block);
        std::memcpy(&object, data, sizeof object);
        GlobalUnlock(block);
    }
    GlobalFree(block);
    return object;
}

CNode* ExtractNode(LPDATAOBJECT dataObject) {
    CDataObject* object = ExtractOwnDataObject(dataObject);
    return object != nullptr ? object->m_pNode : nullptr;
}
