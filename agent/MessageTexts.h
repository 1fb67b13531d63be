// The texts the service shows, loaded by string id from the language
// library, in message boxes captioned with the service name.
#pragma once

#include "platform/ui/MessageBox.h"
#include "platform/win/WinTypes.h"

// Error icon, on the active desktop even from a service.
#define SERVICE_ERROR_BOX (MB_SERVICE_NOTIFICATION | MB_ICONERROR)

// The service name (product-string code 0x02000001), at most 255 characters.
const char* ServiceNameText();

// Shows an already loaded text; null shows an empty box.
void ShowLoadedText(const char* text, UINT style);
// Loads the text and shows it; a text that cannot be loaded shows an empty
// box.
void ShowText(UINT id, UINT style);
// As ShowText, but a text that cannot be loaded shows nothing.
void ShowTextIfLoaded(UINT id, UINT style);
