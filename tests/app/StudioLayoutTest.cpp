// The four studio layouts: every list, hidden set, collapse order and front page, asked by selector
// as the framework asks them.
#include <optional>

#include "AppTestSupport.h"
#include "app/StudioDevelop.h"
#include "app/StudioLayout.h"
#include "app/StudioRaster.h"
#include "app/StudioVector.h"

namespace {

using Pages = std::optional<std::vector<unsigned>>;  // nullopt: nil

Pages Read(const id& answer) {
    auto* array = ObjectCast<NSArray>(answer.get());
    if (!array) return std::nullopt;
    std::vector<unsigned> pages;
    for (auto& o : array->items()) pages.push_back(ObjectCast<NSNumber>(o.get())->unsignedIntValue());
    return pages;
}

Ref<NSNumber> N(unsigned long v) { return NSNumber::numberWithUnsignedLongLong(v); }

// A stand-in application whose two conditional answers the test sets.
class TestApplication : public Application {
    QV_OBJECT(TestApplication)
public:
    BOOL crossReferences = YES, epub = YES;
    BOOL supportsCrossReferences() override { return crossReferences; }
    BOOL supportsEPUBExport() override { return epub; }
};
QV_IMPLEMENT(TestApplication, Application) {}

class StudioLayoutTest : public AppShellTest {
protected:
    id Ask(NSObject* layout, const char* sel, unsigned long a) { return layout->performSelector(sel_registerName(sel), N(a).get()); }
    id Ask(NSObject* layout, const char* sel, unsigned long a, unsigned long b) {
        return layout->performSelector(sel_registerName(sel), N(a).get(), N(b).get());
    }
    unsigned long Number(const id& v) { return ObjectCast<NSNumber>(v.get())->unsignedLongLongValue(); }
};

TEST_F(StudioLayoutTest, ListsOfEveryPlace) {
    auto layout = New<StudioLayout>();
    auto vector = New<StudioVector>();
    auto raster = New<StudioRaster>();
    auto develop = New<StudioDevelop>();
    const std::vector<unsigned> developEast[] = {{2, 28, 31, 22, 32}, {16, 18, 19, 20, 17}, {3, 6, 21, 34, 54, 62, 23}};
    const struct {
        NSObject* object;
        const char* sel;
        unsigned long shelfOrBook;
        Pages expected;
    } cases[] = {
        {layout.get(), "populateEastForBook:", 0, std::vector<unsigned>{0, 12, 1}},
        {layout.get(), "populateEastForBook:", 1, std::vector<unsigned>{5, 75, 36, 37, 46, 7, 10}},
        {layout.get(), "populateEastForBook:", 2, std::vector<unsigned>{9, 3, 6}},
        {layout.get(), "populateEastForBook:", 3, std::nullopt},
        {layout.get(), "populateWestForBook:", 0, std::vector<unsigned>{42, 45, 33, 57, 59, 47, 48, 67, 72}},
        {layout.get(), "populateWestForBook:", 1, std::nullopt},
        {vector.get(), "populateEastForBook:", 0, std::vector<unsigned>{0, 12, 1, 64}},
        {vector.get(), "populateEastForBook:", 1, std::vector<unsigned>{5, 75, 4, 10, 7, 46, 23}},
        {vector.get(), "populateEastForBook:", 2, std::vector<unsigned>{9, 3, 6, 29, 54, 78}},
        {vector.get(), "populateEastForBook:", 3, std::nullopt},
        {vector.get(), "populateWestForBook:", 0, std::vector<unsigned>{45, 33}},
        {vector.get(), "populateWestForBook:", 1, std::nullopt},
        {raster.get(), "populateEastForBook:", 0, std::vector<unsigned>{2, 28, 0, 12}},
        {raster.get(), "populateEastForBook:", 1, std::vector<unsigned>{8, 22, 5, 75, 11, 4, 33, 10, 7, 23}},
        {raster.get(), "populateEastForBook:", 2, std::vector<unsigned>{3, 9, 6, 29, 34, 54, 62, 78}},
        {raster.get(), "populateEastForBook:", 3, std::nullopt},
        {raster.get(), "populateWestForBook:", 0, std::vector<unsigned>{27, 30, 52, 45}},
        {raster.get(), "populateWestForBook:", 1, std::nullopt},
        {develop.get(), "populateEastForBook:", 0, developEast[0]},
        {develop.get(), "populateEastForBook:", 1, developEast[1]},
        {develop.get(), "populateEastForBook:", 2, developEast[2]},
        {develop.get(), "populateEastForBook:", 3, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.object->classInfo().name() + " " + c.sel + " " + std::to_string(c.shelfOrBook));
        EXPECT_EQ(Read(Ask(c.object, c.sel, c.shelfOrBook)), c.expected);
    }
    // Floating shelves are chosen by the shelf alone; the book is not read.
    const struct {
        NSObject* object;
        unsigned long shelf;
        Pages expected;
    } floating[] = {
        {vector.get(), 0, std::vector<unsigned>{36, 37, 41, 43, 63}}, {vector.get(), 1, std::vector<unsigned>{56}},
        {vector.get(), 2, std::nullopt},
        {raster.get(), 0, std::vector<unsigned>{36, 37, 46, 53, 73}}, {raster.get(), 1, std::vector<unsigned>{56}},
        {raster.get(), 2, std::nullopt},
        {develop.get(), 0, developEast[0]}, {develop.get(), 1, developEast[1]}, {develop.get(), 2, developEast[2]},
        {develop.get(), 3, std::nullopt},
        {layout.get(), 1, std::nullopt},
    };
    for (const auto& c : floating) {
        for (unsigned long book : {0ul, 5ul}) {
            SCOPED_TRACE(c.object->classInfo().name() + " floating " + std::to_string(c.shelf) + " book " + std::to_string(book));
            EXPECT_EQ(Read(Ask(c.object, "populateFloating:forBook:", c.shelf, book)), c.expected);
        }
    }
    // Each call builds a new list.
    EXPECT_NE(Ask(layout.get(), "populateEastForBook:", 0).get(), Ask(layout.get(), "populateEastForBook:", 0).get());
}

TEST_F(StudioLayoutTest, LayoutFloatingListFollowsCrossReferenceAndEPUBAnswers) {
    auto app = New<TestApplication>();
    NSApp = app.get();
    auto layout = New<StudioLayout>();
    const std::vector<unsigned> all = {55, 60, 61, 56, 43, 58, 44, 66, 65, 74, 76, 77, 79, 80, 23, 78};
    const struct {
        BOOL crossReferences, epub;
        std::vector<unsigned> expected;
    } cases[] = {
        {YES, YES, all},
        {NO, YES, {55, 60, 61, 56, 43, 58, 44, 66, 65, 74, 77, 79, 80, 23, 78}},
        {YES, NO, {55, 60, 61, 56, 43, 58, 44, 66, 65, 74, 76, 77, 79, 23, 78}},
        {NO, NO, {55, 60, 61, 56, 43, 58, 44, 66, 65, 74, 77, 79, 23, 78}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.crossReferences) + std::to_string(c.epub));
        app->crossReferences = c.crossReferences;
        app->epub = c.epub;
        EXPECT_EQ(Read(Ask(layout.get(), "populateFloating:forBook:", 0, 3)), c.expected);
    }
    NSApp = nullptr;
}

TEST_F(StudioLayoutTest, HiddenPagesCollapseOrderFrontPagesAndCounts) {
    auto layout = New<StudioLayout>();
    auto vector = New<StudioVector>();
    auto raster = New<StudioRaster>();
    auto develop = New<StudioDevelop>();
    const struct {
        NSObject* object;
        std::vector<unsigned> hidden;
        std::vector<std::pair<unsigned, unsigned>> order;  // position, page
        std::vector<unsigned> counts;                      // east, west (or none), floating
    } cases[] = {
        {layout.get(),
         {7, 10, 23, 43, 44, 47, 48, 55, 56, 57, 58, 59, 60, 61, 65, 66, 67, 72, 74, 75, 76, 77, 78, 79},
         {{1, 42}, {2, 5}, {4, 12}, {5, 36}, {6, 37}, {7, 46}, {8, 33}, {9, 9}, {10, 3}, {11, 6}, {12, 55}, {13, 60},
          {14, 61}, {15, 56}, {16, 10}, {17, 7}, {18, 1}, {19, 57}, {20, 45}, {21, 58}, {22, 43}, {23, 59}, {24, 47},
          {25, 48}, {26, 44}, {27, 65}, {28, 66}, {29, 23}, {30, 67}, {31, 72}, {32, 74}, {33, 76}, {34, 77}, {35, 78},
          {36, 79}},
         {3, 1, 1}},
        {vector.get(),
         {23, 29, 33, 36, 37, 41, 43, 45, 46, 47, 54, 56, 57, 59, 63, 75, 78},
         {{1, 3}, {2, 6}, {3, 10}, {4, 7}, {5, 4}, {6, 12}, {7, 1}, {8, 9}, {9, 5}, {10, 0}, {11, 36}, {12, 37}, {13, 29},
          {14, 41}, {15, 43}, {17, 45}, {18, 46}, {19, 54}, {20, 56}, {21, 63}, {22, 64}, {23, 78}},
         {3, 1, 2}},
        {raster.get(),
         {7, 8, 10, 12, 22, 23, 27, 28, 29, 30, 34, 36, 37, 45, 46, 52, 53, 54, 56, 62, 73, 75, 78},
         {{1, 11}, {2, 3}, {3, 6}, {4, 29}, {5, 12}, {6, 7}, {7, 33}, {8, 22}, {9, 10}, {10, 8}, {11, 9}, {13, 2}, {14, 4},
          {15, 0}, {16, 5}, {18, 34}, {19, 36}, {20, 37}, {21, 27}, {22, 30}, {23, 52}, {24, 46}, {25, 53}, {26, 54},
          {27, 56}, {28, 45}, {29, 73}, {30, 62}, {31, 78}},
         {3, 1, 2}},
        {develop.get(), {23, 62}, {}, {3, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.object->classInfo().name());
        for (unsigned page = 0; page <= 90; ++page) {
            bool hidden = std::find(c.hidden.begin(), c.hidden.end(), page) != c.hidden.end();
            EXPECT_EQ(UnboxBool(Ask(c.object, "isVisibleOnStartUp:", page).get()), !hidden) << "page " << page;
            if (!c.order.empty()) {
                unsigned expected = 0;
                for (auto [pos, p] : c.order)
                    if (p == page) expected = pos;
                EXPECT_EQ(Number(Ask(c.object, "autoCollapseOrderForPageID:", page)), expected) << "page " << page;
            }
        }
        EXPECT_EQ(Number(c.object->performSelector(QV_SELECTOR(numberOfBookInEastShelf))), c.counts[0]);
        if (c.counts.size() == 3) {
            EXPECT_EQ(Number(c.object->performSelector(QV_SELECTOR(numberOfBookInWestShelf))), c.counts[1]);
            EXPECT_EQ(Number(c.object->performSelector(QV_SELECTOR(numberOfFloatingShelves))), c.counts[2]);
        } else {
            EXPECT_EQ(Number(c.object->performSelector(QV_SELECTOR(numberOfFloatingShelves))), c.counts[1]);
        }
    }
    // Front pages of the Tavik layout; other books have none.
    const std::pair<unsigned long, unsigned long> fronts[] = {{0, 2}, {1, 5}, {2, 3}, {3, 0x7FFFFFFFFFFFFFFFul}};
    for (auto [book, page] : fronts) EXPECT_EQ(Number(Ask(raster.get(), "frontPageInEastForBook:", book)), page);
    // Develop collapses east book 2 and beyond.
    for (auto [book, collapse] : std::vector<std::pair<unsigned long, bool>>{{0, false}, {1, false}, {2, true}, {7, true}})
        EXPECT_EQ(UnboxBool(Ask(develop.get(), "collapseEastBook:", book).get()), collapse) << book;
}

TEST_F(StudioLayoutTest, MethodsALayoutLeavesToTheFramework) {
    auto layout = New<StudioLayout>();
    auto vector = New<StudioVector>();
    auto raster = New<StudioRaster>();
    auto develop = New<StudioDevelop>();
    const struct {
        NSObject* object;
        const char* sel;
        bool answers;
    } cases[] = {
        {develop.get(), "numberOfBookInWestShelf", false}, {develop.get(), "populateWestForBook:", false},
        {develop.get(), "autoCollapseOrderForPageID:", false}, {develop.get(), "collapseEastBook:", true},
        {develop.get(), "populateFloating:forBook:", true},  {layout.get(), "frontPageInEastForBook:", false},
        {vector.get(), "frontPageInEastForBook:", false},    {raster.get(), "frontPageInEastForBook:", true},
        {raster.get(), "collapseEastBook:", false},          {layout.get(), "initialisePersona", false},
        {vector.get(), "isWestShelfDockable", false},        {raster.get(), "numberOfBookInFloatingShelf:", false},
        {layout.get(), "showPageTitlesForBookInWestShelf:", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.object->respondsToSelector(sel_registerName(c.sel)), c.answers) << c.object->classInfo().name() << " " << c.sel;
}

}  // namespace
