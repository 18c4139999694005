// Page lists as the studio delegate protocol hands them over.
#pragma once
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "Foundation/Foundation.h"
#include "app/StudioPages.h"

namespace StudioPageLists {

// A new array of NSNumber page ids, in display order.
inline Ref<NSArray> Make(std::initializer_list<StudioPageID> pages) {
    std::vector<id> items;
    items.reserve(pages.size());
    for (StudioPageID page : pages) items.emplace_back(NSNumber::numberWithUnsignedInt(page).get());
    return NSArray::arrayWithVector(std::move(items));
}

template <size_t N>
bool Contains(const StudioPageID (&pages)[N], NSUInteger page) {
    return std::find(std::begin(pages), std::end(pages), page) != std::end(pages);
}

struct CollapsePosition {
    NSUInteger position;
    StudioPageID page;
};

// The page's position in the collapse order; 0 for pages not in it.
template <size_t N>
NSUInteger PositionOf(const CollapsePosition (&order)[N], NSUInteger page) {
    for (const auto& entry : order)
        if (entry.page == page) return entry.position;
    return 0;
}

}  // namespace StudioPageLists
