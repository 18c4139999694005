#include "PropertyCollections.h"

namespace CommonPropertyCollections {
uint32_t tagCollectionRasterBrushesUID = 0x72627368;  // 'rbsh'
uint32_t tagCollectionVectorBrushesUID = 0x76627368;  // 'vbsh'
uint32_t tagCollectionAssetsUID = 0x61737374;         // 'asst'
uint32_t tagCollectionObjectStylesUID = 0x6F737479;   // 'osty'
uint32_t tagCollectionFillsUID = 0x66696C6C;          // 'fill'
uint32_t tagCollectionMacrosUID = 0x6D616372;         // 'macr'
uint32_t tagCollectionAdjustmentsUID = 0x61646A73;    // 'adjs'
}  // namespace CommonPropertyCollections
