// The console's data object for a multi-selection in the result pane: it
// tells that it is one (CCF_MMC_MULTISELECT_DATAOBJECT) and carries the
// data object each snap-in gave for its share of the selection
// (CCF_MULTI_SELECT_SNAPINS); other formats come from the snap-in's object.
#pragma once

#include <vector>

#include "platform/mmc/SnapIn.h"

namespace kv::mmc {

// The new object holds one reference, for the caller; it holds its own on
// each snap-in object.
IDataObject* CreateMultiSelectDataObject(const std::vector<IDataObject*>& snapinObjects);

}  // namespace kv::mmc
