#include "app/StudioLayout.h"

#include "AppKit/NSApplication.h"
#include "app/StudioPageLists.h"

#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(StudioLayout, NSObject) {
    c.method("numberOfBookInEastShelf", &StudioLayout::numberOfBookInEastShelf);
    c.method("numberOfBookInWestShelf", &StudioLayout::numberOfBookInWestShelf);
    c.method("numberOfFloatingShelves", &StudioLayout::numberOfFloatingShelves);
    c.method("populateEastForBook:", &StudioLayout::populateEastForBook);
    c.method("populateWestForBook:", &StudioLayout::populateWestForBook);
    c.method("populateFloating:forBook:", &StudioLayout::populateFloating);
    c.method("isVisibleOnStartUp:", &StudioLayout::isVisibleOnStartUp);
    c.method("autoCollapseOrderForPageID:", &StudioLayout::autoCollapseOrderForPageID);
}

Ref<NSArray> StudioLayout::populateEastForBook(NSUInteger book) {
    switch (book) {
    case 0: return StudioPageLists::Make({StudioPage::ColourPage, StudioPage::SwatchesPage, StudioPage::LinePage});
    case 1: return StudioPageLists::Make({StudioPage::LayerPage, StudioPage::LayerStatePage, StudioPage::CharacterPage, StudioPage::ParagraphPage, StudioPage::TextStylesPage, StudioPage::StylesPage, StudioPage::EffectsPage});
    case 2: return StudioPageLists::Make({StudioPage::TransformPage, StudioPage::NavigatorPage, StudioPage::HistoryPage});
    default: return nullptr;
    }
}

Ref<NSArray> StudioLayout::populateWestForBook(NSUInteger book) {
    switch (book) {
    case 0: return StudioPageLists::Make({StudioPage::PagesPage, StudioPage::AssetsPage, StudioPage::StockPage, StudioPage::FindAndReplacePage, StudioPage::PlaceToolSourcesPage, StudioPage::TocPage, StudioPage::IndexPage, StudioPage::PreflightPage, StudioPage::BooksPage});
    default: return nullptr;
    }
}

Ref<NSArray> StudioLayout::populateFloating(NSUInteger shelf, NSUInteger) {
    if (shelf != 0) return nullptr;
    Ref<NSArray> pages = StudioPageLists::Make({StudioPage::TextFramePage, StudioPage::TablePage, StudioPage::TableFormatPage, StudioPage::GlyphBrowserPage, StudioPage::ConstraintsPage, StudioPage::FieldsPage, StudioPage::HyperlinkPage, StudioPage::AnchorsPage, StudioPage::PinningPage, StudioPage::NotesPage, StudioPage::CrossReferencesPage, StudioPage::TagsPage, StudioPage::ReadingOrderPage, StudioPage::EPUBPage, StudioPage::DebugPage, StudioPage::TypographyPage});
    // Both questions are asked every time, cross references first.
    BOOL crossReferences = NSApp && NSApp->performBoolSelector(QV_SELECTOR(supportsCrossReferences));
    BOOL epub = NSApp && NSApp->performBoolSelector(QV_SELECTOR(supportsEPUBExport));
    if (crossReferences && epub) return pages;
    auto filtered = New<NSMutableArray>(pages->items());
    for (auto [supported, page] : {std::pair{crossReferences, StudioPage::CrossReferencesPage}, std::pair{epub, StudioPage::EPUBPage}}) {
        if (supported) continue;
        for (NSUInteger i = 0; i < filtered->count(); ++i) {
            if (static_cast<NSNumber*>(filtered->objectAtIndex(i))->unsignedIntValue() == page) {
                filtered->removeObjectAtIndex(i);
                break;
            }
        }
    }
    return filtered;
}

BOOL StudioLayout::isVisibleOnStartUp(NSUInteger page) {
    static const StudioPageID kHidden[] = {StudioPage::StylesPage, StudioPage::EffectsPage, StudioPage::DebugPage, StudioPage::ConstraintsPage, StudioPage::HyperlinkPage, StudioPage::TocPage, StudioPage::IndexPage, StudioPage::TextFramePage, StudioPage::GlyphBrowserPage, StudioPage::FindAndReplacePage, StudioPage::FieldsPage, StudioPage::PlaceToolSourcesPage, StudioPage::TablePage, StudioPage::TableFormatPage, StudioPage::PinningPage, StudioPage::AnchorsPage, StudioPage::PreflightPage, StudioPage::BooksPage, StudioPage::NotesPage, StudioPage::LayerStatePage, StudioPage::CrossReferencesPage, StudioPage::TagsPage, StudioPage::TypographyPage, StudioPage::ReadingOrderPage};
    return !StudioPageLists::Contains(kHidden, page);
}

NSUInteger StudioLayout::autoCollapseOrderForPageID(NSUInteger page) {
    static const StudioPageLists::CollapsePosition kOrder[] = {
        {1, StudioPage::PagesPage},
        {2, StudioPage::LayerPage},
        {4, StudioPage::SwatchesPage},
        {5, StudioPage::CharacterPage},
        {6, StudioPage::ParagraphPage},
        {7, StudioPage::TextStylesPage},
        {8, StudioPage::StockPage},
        {9, StudioPage::TransformPage},
        {10, StudioPage::NavigatorPage},
        {11, StudioPage::HistoryPage},
        {12, StudioPage::TextFramePage},
        {13, StudioPage::TablePage},
        {14, StudioPage::TableFormatPage},
        {15, StudioPage::GlyphBrowserPage},
        {16, StudioPage::EffectsPage},
        {17, StudioPage::StylesPage},
        {18, StudioPage::LinePage},
        {19, StudioPage::FindAndReplacePage},
        {20, StudioPage::AssetsPage},
        {21, StudioPage::FieldsPage},
        {22, StudioPage::ConstraintsPage},
        {23, StudioPage::PlaceToolSourcesPage},
        {24, StudioPage::TocPage},
        {25, StudioPage::IndexPage},
        {26, StudioPage::HyperlinkPage},
        {27, StudioPage::PinningPage},
        {28, StudioPage::AnchorsPage},
        {29, StudioPage::DebugPage},
        {30, StudioPage::PreflightPage},
        {31, StudioPage::BooksPage},
        {32, StudioPage::NotesPage},
        {33, StudioPage::CrossReferencesPage},
        {34, StudioPage::TagsPage},
        {35, StudioPage::TypographyPage},
        {36, StudioPage::ReadingOrderPage}};
    return StudioPageLists::PositionOf(kOrder, page);
}
