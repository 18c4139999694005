#include "app/StudioDevelop.h"

#include "app/StudioPageLists.h"

#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(StudioDevelop, NSObject) {
    c.method("numberOfBookInEastShelf", &StudioDevelop::numberOfBookInEastShelf);
    c.method("numberOfFloatingShelves", &StudioDevelop::numberOfFloatingShelves);
    c.method("populateEastForBook:", &StudioDevelop::populateEastForBook);
    c.method("populateFloating:forBook:", &StudioDevelop::populateFloating);
    c.method("collapseEastBook:", &StudioDevelop::collapseEastBook);
    c.method("isVisibleOnStartUp:", &StudioDevelop::isVisibleOnStartUp);
}

Ref<NSArray> StudioDevelop::populateEastForBook(NSUInteger book) {
    switch (book) {
    case 0: return StudioPageLists::Make({StudioPage::HistogramPage, StudioPage::WaveformPage, StudioPage::DevelopMapPage, StudioPage::XMPPage, StudioPage::DevelopFocusPage});
    case 1: return StudioPageLists::Make({StudioPage::DevelopBasicPage, StudioPage::DevelopLensPage, StudioPage::DevelopDetailsPage, StudioPage::DevelopTonesPage, StudioPage::DevelopOverlaysPage});
    case 2: return StudioPageLists::Make({StudioPage::NavigatorPage, StudioPage::HistoryPage, StudioPage::DevelopSnapshotsPage, StudioPage::InformationPage, StudioPage::HDRPreviewPage, StudioPage::GPUPage, StudioPage::DebugPage});
    default: return nullptr;
    }
}

Ref<NSArray> StudioDevelop::populateFloating(NSUInteger shelf, NSUInteger) {
    switch (shelf) {
    case 0: return StudioPageLists::Make({StudioPage::HistogramPage, StudioPage::WaveformPage, StudioPage::DevelopMapPage, StudioPage::XMPPage, StudioPage::DevelopFocusPage});
    case 1: return StudioPageLists::Make({StudioPage::DevelopBasicPage, StudioPage::DevelopLensPage, StudioPage::DevelopDetailsPage, StudioPage::DevelopTonesPage, StudioPage::DevelopOverlaysPage});
    case 2: return StudioPageLists::Make({StudioPage::NavigatorPage, StudioPage::HistoryPage, StudioPage::DevelopSnapshotsPage, StudioPage::InformationPage, StudioPage::HDRPreviewPage, StudioPage::GPUPage, StudioPage::DebugPage});
    default: return nullptr;
    }
}

BOOL StudioDevelop::isVisibleOnStartUp(NSUInteger page) {
    static const StudioPageID kHidden[] = {StudioPage::DebugPage, StudioPage::GPUPage};
    return !StudioPageLists::Contains(kHidden, page);
}
