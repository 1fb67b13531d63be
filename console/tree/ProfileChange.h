// Changing the scan job of tree items: one item (asking or not), the
// result pane's selection, and the sweep that follows a deleted scan job.
#pragma once

#include <vector>

#include "console/data/ConsoleData.h"

class CComponent;
class CComponentData;
class CFileNode;
class CNode;

// The in-memory side of a change: the node's new job, and below a folder
// whose whole subtree changes, the loaded descendants that follow it.
void ApplyProfileInMemory(CFileNode& node, LONG profile, bool thisOnly, bool anyProfile);

// The sweep of a deleted scan job over the loaded tree below the files
// root: every item of the job, and every row of it below, goes to no scan job.
void RemoveProfileFromTree(CConsoleData& data, CNode* filesRoot, LONG removed);
// The same, started from a scan-job node's deletion, under the wait dialog.
void RunProfileRemoval(CComponentData* componentData, LONG removed);

// The nodes selected in a view's result list, when it shows the file tree.
std::vector<CFileNode*> SelectedFileNodes(CComponent* view);
// Command 201 on several selected items: one question, then each in turn.
void ChangeSelectionProfile(CComponent* view, const std::vector<CFileNode*>& nodes);

// Rebuilds the lists of the views that show the node, its folder or a folder
// below it.
void RefreshViewsAfterChange(CFileNode& node);
