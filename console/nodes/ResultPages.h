// The result panes that are pages rather than lists: the module's HTML pages
// (res:// addresses), the console's message view, and web addresses.
#pragma once

#include <string>

#include "platform/mmc/SnapIn.h"

class CComponentData;

#define PAGE_GENERAL "generalset.htm"
#define PAGE_VERSION "VERSION.HTM"
#define PAGE_PROFILE "PROFILE.HTM"

// "res://" + the module's full path + "/" + page + "#" + the node's address
// in hexadecimal.
std::string ResourcePageAddress(const char* page, const void* node);

// The message view when the console offers it, the module's page otherwise.
HRESULT InformationViewType(CComponentData* componentData, const char* page, const void* node, LPOLESTR* viewType,
                            long* viewOptions);
HRESULT PageViewType(const std::string& address, LPOLESTR* viewType, long* viewOptions);

// The message view's heading and sentence for a node's pages.
HRESULT FillMessageView(IUnknown* control, const char* title, const char* body);
