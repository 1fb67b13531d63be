#include "platform/mmc/host/MultiSelectData.h"

#include <cstring>
#include <new>

namespace kv::mmc {

namespace {

class MultiSelectDataObject : public kv::platform::SingleInterfaceObject<IDataObject, IID_IDataObject> {
public:
    explicit MultiSelectDataObject(const std::vector<IDataObject*>& objects) : m_objects(objects) {
        for (IDataObject* object : m_objects) object->AddRef();
        m_isMultiSelect = RegisterClipboardFormatW(CCF_MMC_MULTISELECT_DATAOBJECT);
        m_snapins = RegisterClipboardFormatW(CCF_MULTI_SELECT_SNAPINS);
    }
    ~MultiSelectDataObject() override {
        for (IDataObject* object : m_objects) object->Release();
    }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format == nullptr || medium == nullptr) return E_POINTER;
        if (format->cfFormat == m_isMultiSelect) {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
            if (block == nullptr) return E_OUTOFMEMORY;
            *static_cast<DWORD*>(GlobalLock(block)) = TRUE;
            GlobalUnlock(block);
            Fill(medium, block);
            return S_OK;
        }
        if (format->cfFormat == m_snapins) {
            size_t bytes = sizeof(SMMCDataObjects) + (m_objects.empty() ? 0 : (m_objects.size() - 1) * sizeof(LPDATAOBJECT));
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
            if (block == nullptr) return E_OUTOFMEMORY;
            auto* list = static_cast<SMMCDataObjects*>(GlobalLock(block));
            list->count = static_cast<DWORD>(m_objects.size());
            // As on Windows, the list lends the pointers: no references are added.
            for (size_t i = 0; i < m_objects.size(); ++i) list->lpDataObject[i] = m_objects[i];
            GlobalUnlock(block);
            Fill(medium, block);
            return S_OK;
        }
        return m_objects.empty() ? DV_E_FORMATETC : m_objects.front()->GetData(format, medium);
    }
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override {
        if (format == nullptr || medium == nullptr) return E_POINTER;
        if (format->cfFormat == m_isMultiSelect || format->cfFormat == m_snapins) return DV_E_TYMED;
        return m_objects.empty() ? DV_E_FORMATETC : m_objects.front()->GetDataHere(format, medium);
    }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        if (format == nullptr) return E_POINTER;
        if (format->cfFormat == m_isMultiSelect || format->cfFormat == m_snapins) return S_OK;
        return m_objects.empty() ? DV_E_FORMATETC : m_objects.front()->QueryGetData(format);
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    static void Fill(STGMEDIUM* medium, HGLOBAL block) {
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
    }
    std::vector<IDataObject*> m_objects;
    UINT m_isMultiSelect = 0;
    UINT m_snapins = 0;
};

}  // namespace

IDataObject* CreateMultiSelectDataObject(const std::vector<IDataObject*>& snapinObjects) {
    auto* object = new (std::nothrow) MultiSelectDataObject(snapinObjects);
    if (object) object->AddRef();
    return object;
}

}  // namespace kv::mmc
