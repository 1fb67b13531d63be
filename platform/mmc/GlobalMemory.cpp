// Global memory blocks are heap objects with their size; the stream over one
// grows the block as it is written, as CreateStreamOnHGlobal does.
#include "platform/mmc/GlobalMemory.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/mmc/SnapIn.h"

namespace {

constexpr uint32_t kBlockMagic = 0x4B56474Du;  // tells our blocks from stray handles

struct GlobalBlock {
    uint32_t magic = kBlockMagic;
    SIZE_T size = 0;
    unsigned char* bytes = nullptr;
};

GlobalBlock* Block(HGLOBAL handle) {
    auto* block = static_cast<GlobalBlock*>(handle);
    if (block == nullptr || block->magic != kBlockMagic) return nullptr;
    return block;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    auto* block = new (std::nothrow) GlobalBlock;
    if (block == nullptr) return nullptr;
    // A zero-byte block still gets storage, so a lock never answers null for it.
    block->bytes = static_cast<unsigned char*>(std::malloc(bytes == 0 ? 1 : bytes));
    if (block->bytes == nullptr) {
        delete block;
        return nullptr;
    }
    if (flags & GMEM_ZEROINIT) std::memset(block->bytes, 0, bytes == 0 ? 1 : bytes);
    block->size = bytes;
    return block;
}

HGLOBAL GlobalReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
    GlobalBlock* block = Block(handle);
    if (block == nullptr) return nullptr;
    auto* grown = static_cast<unsigned char*>(std::realloc(block->bytes, bytes == 0 ? 1 : bytes));
    if (grown == nullptr) return nullptr;
    if ((flags & GMEM_ZEROINIT) && bytes > block->size) std::memset(grown + block->size, 0, bytes - block->size);
    block->bytes = grown;
    block->size = bytes;
    return block;
}

LPVOID GlobalLock(HGLOBAL handle) {
    GlobalBlock* block = Block(handle);
    return block == nullptr ? nullptr : block->bytes;
}

// No lock count is kept: a block never moves while it is held.
BOOL GlobalUnlock(HGLOBAL) { return FALSE; }

SIZE_T GlobalSize(HGLOBAL handle) {
    GlobalBlock* block = Block(handle);
    return block == nullptr ? 0 : block->size;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
    GlobalBlock* block = Block(handle);
    if (block == nullptr) return handle;
    block->magic = 0;
    std::free(block->bytes);
    delete block;
    return nullptr;
}

namespace {

class HGlobalStream : public IStream {
public:
    HGlobalStream(HGLOBAL block, bool deleteOnRelease) : m_block(block), m_delete(deleteOnRelease) {}
    ~HGlobalStream() override {
        if (m_delete) GlobalFree(m_block);
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = m_refs.Decrement();
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override {
        if (buffer == nullptr && count != 0) return STG_E_INVALIDPOINTER;
        SIZE_T size = GlobalSize(m_block);
        SIZE_T available = m_position < size ? size - m_position : 0;
        SIZE_T n = count < available ? count : available;
        if (n != 0) std::memcpy(buffer, static_cast<unsigned char*>(GlobalLock(m_block)) + m_position, n);
        m_position += n;
        if (read) *read = static_cast<ULONG>(n);
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Write(const void* buffer, ULONG count, ULONG* written) override {
        if (written) *written = 0;
        if (buffer == nullptr && count != 0) return STG_E_INVALIDPOINTER;
        SIZE_T end = m_position + count;
        if (end > GlobalSize(m_block) && GlobalReAlloc(m_block, end, GMEM_ZEROINIT) == nullptr) return STG_E_MEDIUMFULL;
        if (count != 0) std::memcpy(static_cast<unsigned char*>(GlobalLock(m_block)) + m_position, buffer, count);
        m_position = end;
        if (written) *written = count;
        return S_OK;
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        int64_t base = 0;
        switch (origin) {
            case STREAM_SEEK_SET: base = 0; break;
            case STREAM_SEEK_CUR: base = static_cast<int64_t>(m_position); break;
            case STREAM_SEEK_END: base = static_cast<int64_t>(GlobalSize(m_block)); break;
            default: return STG_E_INVALIDFUNCTION;
        }
        int64_t target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        m_position = static_cast<SIZE_T>(target);
        if (newPosition) newPosition->QuadPart = static_cast<uint64_t>(target);
        return S_OK;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER newSize) override {
        return GlobalReAlloc(m_block, static_cast<SIZE_T>(newSize.QuadPart), GMEM_ZEROINIT) ? S_OK : STG_E_MEDIUMFULL;
    }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        std::memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = GlobalSize(m_block);
        return S_OK;
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    HGLOBAL Block() const { return m_block; }

private:
    kv::platform::ComRefCount m_refs;
    HGLOBAL m_block;
    bool m_delete;
    SIZE_T m_position = 0;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, LPSTREAM* stream) {
    if (stream == nullptr) return E_INVALIDARG;
    *stream = nullptr;
    bool owned = block == nullptr;
    if (owned) block = GlobalAlloc(GMEM_MOVEABLE, 0);
    if (Block(block) == nullptr) return owned ? E_OUTOFMEMORY : E_INVALIDARG;
    auto* created = new (std::nothrow) HGlobalStream(block, deleteOnRelease != FALSE);
    if (created == nullptr) {
        if (owned) GlobalFree(block);
        return E_OUTOFMEMORY;
    }
    created->AddRef();
    *stream = created;
    return S_OK;
}

HRESULT GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* block) {
    if (stream == nullptr || block == nullptr) return E_INVALIDARG;
    // Only streams made here have a block: dynamic_cast needs no interface of its own.
    auto* ours = dynamic_cast<HGlobalStream*>(stream);
    if (ours == nullptr) return E_INVALIDARG;
    *block = ours->Block();
    return S_OK;
}

void ReleaseStgMedium(LPSTGMEDIUM medium) {
    if (medium == nullptr) return;
    if (medium->pUnkForRelease != nullptr) {
        medium->pUnkForRelease->Release();
    } else if (medium->tymed == TYMED_HGLOBAL) {
        GlobalFree(medium->hGlobal);
    } else if (medium->tymed == TYMED_ISTREAM && medium->pstm != nullptr) {
        medium->pstm->Release();
    } else if (medium->tymed == TYMED_FILE) {
        CoTaskMemFree(medium->lpszFileName);
    }
    medium->tymed = TYMED_NULL;
    medium->hGlobal = nullptr;
    medium->pUnkForRelease = nullptr;
}
