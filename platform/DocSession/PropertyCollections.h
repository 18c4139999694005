// Tag ids of the document library's shared property collections.
#pragma once
#include <cstdint>

namespace CommonPropertyCollections {
extern uint32_t tagCollectionRasterBrushesUID;
extern uint32_t tagCollectionVectorBrushesUID;
extern uint32_t tagCollectionAssetsUID;
extern uint32_t tagCollectionObjectStylesUID;
extern uint32_t tagCollectionFillsUID;
extern uint32_t tagCollectionMacrosUID;
extern uint32_t tagCollectionAdjustmentsUID;

// Which link target the shared collections follow (RegressionPersona.cpp).
void SetActiveTarget(int linkTarget);
int GetActiveTarget();
}  // namespace CommonPropertyCollections
