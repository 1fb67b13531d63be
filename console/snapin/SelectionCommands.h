// The context menu of several items selected in a view's result list.
#pragma once

#include "platform/mmc/SnapIn.h"

class CComponent;

HRESULT AddSelectionMenuItems(IContextMenuCallback* callback, long* insertionAllowed);
HRESULT SelectionCommand(CComponent* view, long commandId);
