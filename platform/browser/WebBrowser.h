// The browser automation object: a program creates it by its class, has it
// navigate, waits while it is busy, asks for its document and fills that
// document from a stream (IPersistStreamInit). Here a browser window is a
// tab of the console's front end; the window list below is what the console
// host serves to it.
#pragma once

#include <string>
#include <vector>

#include "platform/com/Guid.h"
#include "platform/com/Unknown.h"
#include "platform/mmc/GlobalMemory.h"
#include "platform/text/CodePage.h"

#define KV_BROWSER_API __attribute__((visibility("default")))

#ifndef CLSCTX_SERVER
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#endif

typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// The optional arguments of Navigate are never read: only the address is.
struct tagVARIANT;
typedef tagVARIANT VARIANT;

// {0002DF01-0000-0000-C000-000000000046}
inline constexpr CLSID CLSID_InternetExplorer = {0x0002DF01, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}
inline constexpr IID IID_IWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
// {00020400-0000-0000-C000-000000000046}
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {7FD52380-4E07-101B-AE2D-08002B2EC713}
inline constexpr IID IID_IPersistStreamInit = {0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
// {0000010C-0000-0000-C000-000000000046}
inline constexpr IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Late binding is not offered: the document is reached through its other
// interfaces.
struct IDispatch : IUnknown {};

struct IWebBrowser2 : IDispatch {
    STDMETHOD(Navigate)(BSTR url, VARIANT* flags, VARIANT* targetFrame, VARIANT* postData, VARIANT* headers) PURE;
    STDMETHOD(get_Busy)(VARIANT_BOOL* busy) PURE;
    // The document of the page shown; S_FALSE and null before a navigation.
    STDMETHOD(get_Document)(IDispatch** document) PURE;
    // A visible window is a tab of the front end; a tab always fills the
    // browser's own window, so it shows maximised.
    STDMETHOD(put_Visible)(VARIANT_BOOL visible) PURE;
    STDMETHOD(get_Visible)(VARIANT_BOOL* visible) PURE;
    STDMETHOD(Quit)() PURE;
};

struct IPersist : IUnknown {
    STDMETHOD(GetClassID)(CLSID* clsid) PURE;
};

struct IPersistStreamInit : IPersist {
    STDMETHOD(IsDirty)() PURE;
    // Replaces the document with the stream's content, from its current
    // position to its end.
    STDMETHOD(Load)(LPSTREAM stream) PURE;
    STDMETHOD(Save)(LPSTREAM stream, BOOL clearDirty) PURE;
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) PURE;
    STDMETHOD(InitNew)() PURE;
};

namespace kv::browser {

// A window's document as the front end shows it: the text loaded, with each
// src attribute that names a Windows path replaced by "file/N", N indexing
// the files list (which holds the Windows paths).
struct RenderedDocument {
    std::string html;
    std::vector<std::string> files;
};

// Makes the browser class creatable in this process (the host does this
// while it runs); revoking it leaves the windows already open.
KV_BROWSER_API HRESULT RegisterBrowserClass();
KV_BROWSER_API void RevokeBrowserClass();

// Called (on the caller's thread) when a window becomes visible; its number
// names it for the calls below. Null removes the handler.
typedef void (*NewWindowHandler)(int window, void* context);
KV_BROWSER_API void SetNewWindowHandler(NewWindowHandler handler, void* context);

// The text the window's document was loaded with, byte for byte; false for
// a window not (or no longer) kept.
KV_BROWSER_API bool DocumentSource(int window, std::string* text);
KV_BROWSER_API bool RenderDocument(int window, RenderedDocument* document);

// The rendering rule alone: what RenderDocument does to a text.
KV_BROWSER_API RenderedDocument RenderText(const std::string& text);

}  // namespace kv::browser
