// The root of the monitored-files tree.
#pragma once

#include "console/nodes/Node.h"

class CFilesRootNode : public CNode {
public:
    using CNode::CNode;
    const GUID& NodeType() const override;
    std::string DisplayName() const override;
    int Image() const override { return IMAGE_FILES; }
};
