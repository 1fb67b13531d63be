// Global memory blocks and the stream over one (GlobalAlloc, CreateStreamOnHGlobal):
// how data objects hand their clipboard formats to the console, as on
// Windows. A block is a plain heap object, so a block allocated in one module
// may be freed in another.
#pragma once

#include <cstdint>

#include "platform/com/Unknown.h"
#include "platform/win/WinTypes.h"

#define KV_MMC_API __attribute__((visibility("default")))

typedef HANDLE HGLOBAL;
typedef uintptr_t SIZE_T;

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

#ifndef STG_E_MEDIUMFULL
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070L)
#endif
#ifndef STG_E_INVALIDFUNCTION
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001L)
#endif
#ifndef STG_E_INVALIDPOINTER
#define STG_E_INVALIDPOINTER ((HRESULT)0x80030009L)
#endif

KV_MMC_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Keeps the contents up to the smaller size; null (and the old block intact)
// when memory runs out.
KV_MMC_API HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags);
KV_MMC_API LPVOID GlobalLock(HGLOBAL block);
KV_MMC_API BOOL GlobalUnlock(HGLOBAL block);
KV_MMC_API SIZE_T GlobalSize(HGLOBAL block);
// Null on success, the block on failure (as Windows answers).
KV_MMC_API HGLOBAL GlobalFree(HGLOBAL block);

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    int64_t QuadPart;
} LARGE_INTEGER;
typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    };
    uint64_t QuadPart;
} ULARGE_INTEGER;

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2
#define STGTY_STREAM 2
#define STATFLAG_NONAME 1

typedef struct tagSTATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
} STATSTG;

// {0000000C-0000-0000-C000-000000000046}
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {0C733A30-2A1C-11CE-ADE5-00AA0044773D}
inline constexpr IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

struct ISequentialStream : IUnknown {
    STDMETHOD(Read)(void* buffer, ULONG count, ULONG* read) PURE;
    STDMETHOD(Write)(const void* buffer, ULONG count, ULONG* written) PURE;
};

struct IStream : ISequentialStream {
    STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) PURE;
    STDMETHOD(SetSize)(ULARGE_INTEGER newSize) PURE;
    STDMETHOD(CopyTo)(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) PURE;
    STDMETHOD(Commit)(DWORD flags) PURE;
    STDMETHOD(Revert)() PURE;
    STDMETHOD(LockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) PURE;
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) PURE;
    STDMETHOD(Stat)(STATSTG* stat, DWORD flags) PURE;
    STDMETHOD(Clone)(IStream** clone) PURE;
};
typedef IStream* LPSTREAM;

// A stream whose contents are the block (a new block when null); writes past
// its end grow the block. With deleteOnRelease the block is freed with the
// stream's last reference.
KV_MMC_API HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, LPSTREAM* stream);
KV_MMC_API HRESULT GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* block);
