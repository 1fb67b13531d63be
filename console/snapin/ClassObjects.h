// The class factories of the module's four creatable classes.
#pragma once

#include "platform/com/Unknown.h"

// CLASS_E_CLASSNOTAVAILABLE for a class the module does not serve.
HRESULT GetConsoleClassObject(REFCLSID clsid, REFIID riid, void** object);
