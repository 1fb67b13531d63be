#include "console/nodes/FilesRootNode.h"

#include "common/ResourceModule.h"
#include "console/module/ConsoleGuids.h"

const GUID& CFilesRootNode::NodeType() const { return NODETYPE_FilesRoot; }

std::string CFilesRootNode::DisplayName() const {
    std::string name;
    LoadResourceString(2, name);
    return name;
}
