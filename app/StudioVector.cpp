#include "app/StudioVector.h"

#include "app/StudioPageLists.h"

#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(StudioVector, NSObject) {
    c.method("numberOfBookInEastShelf", &StudioVector::numberOfBookInEastShelf);
    c.method("numberOfBookInWestShelf", &StudioVector::numberOfBookInWestShelf);
    c.method("numberOfFloatingShelves", &StudioVector::numberOfFloatingShelves);
    c.method("populateEastForBook:", &StudioVector::populateEastForBook);
    c.method("populateWestForBook:", &StudioVector::populateWestForBook);
    c.method("populateFloating:forBook:", &StudioVector::populateFloating);
    c.method("isVisibleOnStartUp:", &StudioVector::isVisibleOnStartUp);
    c.method("autoCollapseOrderForPageID:", &StudioVector::autoCollapseOrderForPageID);
}

Ref<NSArray> StudioVector::populateEastForBook(NSUInteger book) {
    switch (book) {
    case 0: return StudioPageLists::Make({StudioPage::ColourPage, StudioPage::SwatchesPage, StudioPage::LinePage, StudioPage::AppearancePage});
    case 1: return StudioPageLists::Make({StudioPage::LayerPage, StudioPage::LayerStatePage, StudioPage::BrushPage, StudioPage::EffectsPage, StudioPage::StylesPage, StudioPage::TextStylesPage, StudioPage::DebugPage});
    case 2: return StudioPageLists::Make({StudioPage::TransformPage, StudioPage::NavigatorPage, StudioPage::HistoryPage, StudioPage::SnapshotsPage, StudioPage::HDRPreviewPage, StudioPage::TypographyPage});
    default: return nullptr;
    }
}

Ref<NSArray> StudioVector::populateWestForBook(NSUInteger book) {
    switch (book) {
    case 0: return StudioPageLists::Make({StudioPage::AssetsPage, StudioPage::StockPage});
    default: return nullptr;
    }
}

Ref<NSArray> StudioVector::populateFloating(NSUInteger shelf, NSUInteger) {
    switch (shelf) {
    case 0: return StudioPageLists::Make({StudioPage::CharacterPage, StudioPage::ParagraphPage, StudioPage::SymbolsPage, StudioPage::ConstraintsPage, StudioPage::PlanesPage});
    case 1: return StudioPageLists::Make({StudioPage::GlyphBrowserPage});
    default: return nullptr;
    }
}

BOOL StudioVector::isVisibleOnStartUp(NSUInteger page) {
    static const StudioPageID kHidden[] = {StudioPage::DebugPage, StudioPage::SnapshotsPage, StudioPage::StockPage, StudioPage::CharacterPage, StudioPage::ParagraphPage, StudioPage::SymbolsPage, StudioPage::ConstraintsPage, StudioPage::AssetsPage, StudioPage::TextStylesPage, StudioPage::TocPage, StudioPage::HDRPreviewPage, StudioPage::GlyphBrowserPage, StudioPage::FindAndReplacePage, StudioPage::PlaceToolSourcesPage, StudioPage::PlanesPage, StudioPage::LayerStatePage, StudioPage::TypographyPage};
    return !StudioPageLists::Contains(kHidden, page);
}

NSUInteger StudioVector::autoCollapseOrderForPageID(NSUInteger page) {
    static const StudioPageLists::CollapsePosition kOrder[] = {
        {1, StudioPage::NavigatorPage},
        {2, StudioPage::HistoryPage},
        {3, StudioPage::EffectsPage},
        {4, StudioPage::StylesPage},
        {5, StudioPage::BrushPage},
        {6, StudioPage::SwatchesPage},
        {7, StudioPage::LinePage},
        {8, StudioPage::TransformPage},
        {9, StudioPage::LayerPage},
        {10, StudioPage::ColourPage},
        {11, StudioPage::CharacterPage},
        {12, StudioPage::ParagraphPage},
        {13, StudioPage::SnapshotsPage},
        {14, StudioPage::SymbolsPage},
        {15, StudioPage::ConstraintsPage},
        {17, StudioPage::AssetsPage},
        {18, StudioPage::TextStylesPage},
        {19, StudioPage::HDRPreviewPage},
        {20, StudioPage::GlyphBrowserPage},
        {21, StudioPage::PlanesPage},
        {22, StudioPage::AppearancePage},
        {23, StudioPage::TypographyPage}};
    return StudioPageLists::PositionOf(kOrder, page);
}
