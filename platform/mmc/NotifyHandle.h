// What a property-change notify handle points at: the console object that
// forwards a page's change to the component or component data that created
// the page. The console hands the handle to CreatePropertyPages.
#pragma once

#include "platform/mmc/SnapIn.h"

struct KvPropertyNotifyTarget {
    // Called on whatever thread the page calls from; the target moves the
    // notification onto the console's thread.
    virtual HRESULT PropertyChanged(LPARAM param) = 0;
    virtual void FreeHandle() = 0;

protected:
    virtual ~KvPropertyNotifyTarget() = default;
};
