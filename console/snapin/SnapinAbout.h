// What the console host shows about the snap-in.
#pragma once

#include "console/snapin/ComObject.h"
#include "platform/mmc/SnapIn.h"

class CSnapinAbout : public ISnapinAbout {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    ORV_COM_REFCOUNT();

    STDMETHODIMP GetSnapinDescription(LPOLESTR* description) override;
    STDMETHODIMP GetProvider(LPOLESTR* name) override;
    STDMETHODIMP GetSnapinVersion(LPOLESTR* version) override;
    STDMETHODIMP GetSnapinImage(HICON* appIcon) override;
    STDMETHODIMP GetStaticFolderImage(HBITMAP* smallImage, HBITMAP* smallImageOpen, HBITMAP* largeImage,
                                      COLORREF* mask) override;
};
