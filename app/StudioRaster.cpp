#include "app/StudioRaster.h"

#include "app/StudioPageLists.h"

#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(StudioRaster, NSObject) {
    c.method("numberOfBookInEastShelf", &StudioRaster::numberOfBookInEastShelf);
    c.method("numberOfBookInWestShelf", &StudioRaster::numberOfBookInWestShelf);
    c.method("numberOfFloatingShelves", &StudioRaster::numberOfFloatingShelves);
    c.method("populateEastForBook:", &StudioRaster::populateEastForBook);
    c.method("populateWestForBook:", &StudioRaster::populateWestForBook);
    c.method("populateFloating:forBook:", &StudioRaster::populateFloating);
    c.method("frontPageInEastForBook:", &StudioRaster::frontPageInEastForBook);
    c.method("isVisibleOnStartUp:", &StudioRaster::isVisibleOnStartUp);
    c.method("autoCollapseOrderForPageID:", &StudioRaster::autoCollapseOrderForPageID);
}

Ref<NSArray> StudioRaster::populateEastForBook(NSUInteger book) {
    switch (book) {
    case 0: return StudioPageLists::Make({StudioPage::HistogramPage, StudioPage::WaveformPage, StudioPage::ColourPage, StudioPage::SwatchesPage});
    case 1: return StudioPageLists::Make({StudioPage::AdjustmentPage, StudioPage::XMPPage, StudioPage::LayerPage, StudioPage::LayerStatePage, StudioPage::ChannelsPage, StudioPage::BrushPage, StudioPage::StockPage, StudioPage::EffectsPage, StudioPage::StylesPage, StudioPage::DebugPage});
    case 2: return StudioPageLists::Make({StudioPage::NavigatorPage, StudioPage::TransformPage, StudioPage::HistoryPage, StudioPage::SnapshotsPage, StudioPage::InformationPage, StudioPage::HDRPreviewPage, StudioPage::GPUPage, StudioPage::TypographyPage});
    default: return nullptr;
    }
}

Ref<NSArray> StudioRaster::populateWestForBook(NSUInteger book) {
    if (book != 0) return nullptr;
    auto pages = NSMutableArray::array();
    for (StudioPageID page : {StudioPage::MacroPage, StudioPage::MacrosPage, StudioPage::BatchPage, StudioPage::AssetsPage})
        pages->addObject(NSNumber::numberWithUnsignedInt(page).get());
    return pages;
}

NSUInteger StudioRaster::frontPageInEastForBook(NSUInteger book) {
    switch (book) {
    case 0: return StudioPage::HistogramPage;
    case 1: return StudioPage::LayerPage;
    case 2: return StudioPage::NavigatorPage;
    default: return static_cast<NSUInteger>(NSNotFound);
    }
}

Ref<NSArray> StudioRaster::populateFloating(NSUInteger shelf, NSUInteger) {
    switch (shelf) {
    case 0: return StudioPageLists::Make({StudioPage::CharacterPage, StudioPage::ParagraphPage, StudioPage::TextStylesPage, StudioPage::CloneBrushSourcesPage, StudioPage::LinksPage});
    case 1: return StudioPageLists::Make({StudioPage::GlyphBrowserPage});
    default: return nullptr;
    }
}

BOOL StudioRaster::isVisibleOnStartUp(NSUInteger page) {
    static const StudioPageID kHidden[] = {StudioPage::StylesPage, StudioPage::AdjustmentPage, StudioPage::EffectsPage, StudioPage::SwatchesPage, StudioPage::XMPPage, StudioPage::DebugPage, StudioPage::MacroPage, StudioPage::WaveformPage, StudioPage::SnapshotsPage, StudioPage::MacrosPage, StudioPage::InformationPage, StudioPage::CharacterPage, StudioPage::ParagraphPage, StudioPage::AssetsPage, StudioPage::TextStylesPage, StudioPage::BatchPage, StudioPage::CloneBrushSourcesPage, StudioPage::HDRPreviewPage, StudioPage::GlyphBrowserPage, StudioPage::GPUPage, StudioPage::LinksPage, StudioPage::LayerStatePage, StudioPage::TypographyPage};
    return !StudioPageLists::Contains(kHidden, page);
}

NSUInteger StudioRaster::autoCollapseOrderForPageID(NSUInteger page) {
    static const StudioPageLists::CollapsePosition kOrder[] = {
        {1, StudioPage::ChannelsPage},
        {2, StudioPage::NavigatorPage},
        {3, StudioPage::HistoryPage},
        {4, StudioPage::SnapshotsPage},
        {5, StudioPage::SwatchesPage},
        {6, StudioPage::StylesPage},
        {7, StudioPage::StockPage},
        {8, StudioPage::XMPPage},
        {9, StudioPage::EffectsPage},
        {10, StudioPage::AdjustmentPage},
        {11, StudioPage::TransformPage},
        {13, StudioPage::HistogramPage},
        {14, StudioPage::BrushPage},
        {15, StudioPage::ColourPage},
        {16, StudioPage::LayerPage},
        {18, StudioPage::InformationPage},
        {19, StudioPage::CharacterPage},
        {20, StudioPage::ParagraphPage},
        {21, StudioPage::MacroPage},
        {22, StudioPage::MacrosPage},
        {23, StudioPage::BatchPage},
        {24, StudioPage::TextStylesPage},
        {25, StudioPage::CloneBrushSourcesPage},
        {26, StudioPage::HDRPreviewPage},
        {27, StudioPage::GlyphBrowserPage},
        {28, StudioPage::AssetsPage},
        {29, StudioPage::LinksPage},
        {30, StudioPage::GPUPage},
        {31, StudioPage::TypographyPage}};
    return StudioPageLists::PositionOf(kOrder, page);
}
