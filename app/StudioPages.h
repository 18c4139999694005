// Studio panel pages: their identifiers and the names the page dictionary maps to them.
#pragma once
#include <cstdint>

using StudioPageID = uint32_t;

namespace StudioPage {
inline constexpr StudioPageID ColourPage = 0;
inline constexpr StudioPageID LinePage = 1;
inline constexpr StudioPageID HistogramPage = 2;
inline constexpr StudioPageID NavigatorPage = 3;
inline constexpr StudioPageID BrushPage = 4;
inline constexpr StudioPageID LayerPage = 5;
inline constexpr StudioPageID HistoryPage = 6;
inline constexpr StudioPageID StylesPage = 7;
inline constexpr StudioPageID AdjustmentPage = 8;
inline constexpr StudioPageID TransformPage = 9;
inline constexpr StudioPageID EffectsPage = 10;
inline constexpr StudioPageID ChannelsPage = 11;
inline constexpr StudioPageID SwatchesPage = 12;
inline constexpr StudioPageID LiquifyBrushPage = 13;
inline constexpr StudioPageID LiquifyMeshPage = 14;
inline constexpr StudioPageID LiquifyMaskPage = 15;
inline constexpr StudioPageID DevelopBasicPage = 16;
inline constexpr StudioPageID DevelopOverlaysPage = 17;
inline constexpr StudioPageID DevelopLensPage = 18;
inline constexpr StudioPageID DevelopDetailsPage = 19;
inline constexpr StudioPageID DevelopTonesPage = 20;
inline constexpr StudioPageID DevelopSnapshotsPage = 21;
inline constexpr StudioPageID XMPPage = 22;
inline constexpr StudioPageID DebugPage = 23;
inline constexpr StudioPageID ExportPage = 24;
inline constexpr StudioPageID ExportableItemsPage = 25;
inline constexpr StudioPageID ExportLayerPage = 26;
inline constexpr StudioPageID MacroPage = 27;
inline constexpr StudioPageID WaveformPage = 28;
inline constexpr StudioPageID SnapshotsPage = 29;
inline constexpr StudioPageID MacrosPage = 30;
inline constexpr StudioPageID DevelopMapPage = 31;
inline constexpr StudioPageID DevelopFocusPage = 32;
inline constexpr StudioPageID StockPage = 33;
inline constexpr StudioPageID InformationPage = 34;
inline constexpr StudioPageID CharacterPage = 36;
inline constexpr StudioPageID ParagraphPage = 37;
inline constexpr StudioPageID FilesystemPage = 38;
inline constexpr StudioPageID KeywordsPage = 39;
inline constexpr StudioPageID PresetsPage = 40;
inline constexpr StudioPageID SymbolsPage = 41;
inline constexpr StudioPageID PagesPage = 42;
inline constexpr StudioPageID ConstraintsPage = 43;
inline constexpr StudioPageID HyperlinkPage = 44;
inline constexpr StudioPageID AssetsPage = 45;
inline constexpr StudioPageID TextStylesPage = 46;
inline constexpr StudioPageID TocPage = 47;
inline constexpr StudioPageID IndexPage = 48;
inline constexpr StudioPageID ToneMapPage = 49;
inline constexpr StudioPageID ToneMapOverlaysPage = 50;
inline constexpr StudioPageID ToneMapPresetsPage = 51;
inline constexpr StudioPageID BatchPage = 52;
inline constexpr StudioPageID CloneBrushSourcesPage = 53;
inline constexpr StudioPageID HDRPreviewPage = 54;
inline constexpr StudioPageID TextFramePage = 55;
inline constexpr StudioPageID GlyphBrowserPage = 56;
inline constexpr StudioPageID FindAndReplacePage = 57;
inline constexpr StudioPageID FieldsPage = 58;
inline constexpr StudioPageID PlaceToolSourcesPage = 59;
inline constexpr StudioPageID TablePage = 60;
inline constexpr StudioPageID TableFormatPage = 61;
inline constexpr StudioPageID GPUPage = 62;
inline constexpr StudioPageID PlanesPage = 63;
inline constexpr StudioPageID AppearancePage = 64;
inline constexpr StudioPageID PinningPage = 65;
inline constexpr StudioPageID AnchorsPage = 66;
inline constexpr StudioPageID PreflightPage = 67;
inline constexpr StudioPageID AstroStackFilesPage = 68;
inline constexpr StudioPageID AstroStackOptionsPage = 69;
inline constexpr StudioPageID AstroStackRAWOptionsPage = 70;
inline constexpr StudioPageID AstroStackResultsPage = 71;
inline constexpr StudioPageID BooksPage = 72;
inline constexpr StudioPageID LinksPage = 73;
inline constexpr StudioPageID NotesPage = 74;
inline constexpr StudioPageID LayerStatePage = 75;
inline constexpr StudioPageID CrossReferencesPage = 76;
inline constexpr StudioPageID TagsPage = 77;
inline constexpr StudioPageID TypographyPage = 78;
inline constexpr StudioPageID ReadingOrderPage = 79;
inline constexpr StudioPageID EPUBPage = 80;
}  // namespace StudioPage

struct StudioPageEntry {
    const char* name;
    StudioPageID id;
};

// Every page, by identifier (35 is not used).
inline constexpr StudioPageEntry kStudioPages[] = {
    {"ColourPage", 0},
    {"LinePage", 1},
    {"HistogramPage", 2},
    {"NavigatorPage", 3},
    {"BrushPage", 4},
    {"LayerPage", 5},
    {"HistoryPage", 6},
    {"StylesPage", 7},
    {"AdjustmentPage", 8},
    {"TransformPage", 9},
    {"EffectsPage", 10},
    {"ChannelsPage", 11},
    {"SwatchesPage", 12},
    {"LiquifyBrushPage", 13},
    {"LiquifyMeshPage", 14},
    {"LiquifyMaskPage", 15},
    {"DevelopBasicPage", 16},
    {"DevelopOverlaysPage", 17},
    {"DevelopLensPage", 18},
    {"DevelopDetailsPage", 19},
    {"DevelopTonesPage", 20},
    {"DevelopSnapshotsPage", 21},
    {"XMPPage", 22},
    {"DebugPage", 23},
    {"ExportPage", 24},
    {"ExportableItemsPage", 25},
    {"ExportLayerPage", 26},
    {"MacroPage", 27},
    {"WaveformPage", 28},
    {"SnapshotsPage", 29},
    {"MacrosPage", 30},
    {"DevelopMapPage", 31},
    {"DevelopFocusPage", 32},
    {"StockPage", 33},
    {"InformationPage", 34},
    {"CharacterPage", 36},
    {"ParagraphPage", 37},
    {"FilesystemPage", 38},
    {"KeywordsPage", 39},
    {"PresetsPage", 40},
    {"SymbolsPage", 41},
    {"PagesPage", 42},
    {"ConstraintsPage", 43},
    {"HyperlinkPage", 44},
    {"AssetsPage", 45},
    {"TextStylesPage", 46},
    {"TocPage", 47},
    {"IndexPage", 48},
    {"ToneMapPage", 49},
    {"ToneMapOverlaysPage", 50},
    {"ToneMapPresetsPage", 51},
    {"BatchPage", 52},
    {"CloneBrushSourcesPage", 53},
    {"HDRPreviewPage", 54},
    {"TextFramePage", 55},
    {"GlyphBrowserPage", 56},
    {"FindAndReplacePage", 57},
    {"FieldsPage", 58},
    {"PlaceToolSourcesPage", 59},
    {"TablePage", 60},
    {"TableFormatPage", 61},
    {"GPUPage", 62},
    {"PlanesPage", 63},
    {"AppearancePage", 64},
    {"PinningPage", 65},
    {"AnchorsPage", 66},
    {"PreflightPage", 67},
    {"AstroStackFilesPage", 68},
    {"AstroStackOptionsPage", 69},
    {"AstroStackRAWOptionsPage", 70},
    {"AstroStackResultsPage", 71},
    {"BooksPage", 72},
    {"LinksPage", 73},
    {"NotesPage", 74},
    {"LayerStatePage", 75},
    {"CrossReferencesPage", 76},
    {"TagsPage", 77},
    {"TypographyPage", 78},
    {"ReadingOrderPage", 79},
    {"EPUBPage", 80},
};
inline constexpr unsigned kStudioPageCount = sizeof(kStudioPages) / sizeof(kStudioPages[0]);
