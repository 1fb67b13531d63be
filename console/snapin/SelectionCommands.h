// The context menu of several items selected in a view's result list.
#pragma once

#include "platform/mmc/SnapIn.h"

class CComponent;

HRESULT AddSelectionMenuItems(IContextMenuCallback* callback, long* insertionAllowed);
HRESULT SelectionCommand(CComponent* view, long commandId);

class CNode;
// Whether a node's result pane is a folder (or the drives) of the file tree.
bool ShowsFileTree(CNode* node);
// Opens a folder listed in a view's result pane (double click); false for
// anything else.
bool OpenFileTreeFolder(CComponent* view, CNode* node);
