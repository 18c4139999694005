// The four personas' default tables, dumped and compared with the tables written out by hand in
// golden/, for every setting of the table-text switch and GPU telemetry.
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "../app/StringsBundle.h"
#include "DocSession/PersonaController.h"
#include "ShortcutDump.h"
#include "ShortcutTestSupport.h"
#include "shortcuts/DevelopToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/LayoutToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/RasterToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/VectorToolsKeyboardAcceleratorPopulator.h"

namespace {

std::string Golden(const std::string& name) {
    std::ifstream in(std::string(QV_SOURCE_DIR) + "/tests/shortcuts/golden/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The first line where two dumps differ, for a readable failure.
std::string FirstDifference(const std::string& got, const std::string& want) {
    std::istringstream a(got), b(want);
    std::string la, lb;
    for (int line = 1;; ++line) {
        bool ha = static_cast<bool>(std::getline(a, la)), hb = static_cast<bool>(std::getline(b, lb));
        if (!ha && !hb) return "identical lines";
        if (la != lb || ha != hb)
            return "line " + std::to_string(line) + "\n  dump:   " + (ha ? la : "<end>") + "\n  golden: " + (hb ? lb : "<end>");
    }
}

using Factory = std::function<Ref<ToolsKeyboardAcceleratorPopulator>()>;
template <class T>
Factory Make() {
    return [] { return Ref<ToolsKeyboardAcceleratorPopulator>(New<T>()); };
}

class PersonaTablesTest : public ShortcutTest {
protected:
    void Expect(const char* file, const Factory& make, std::vector<bool> tableText, std::vector<bool> gpu,
                size_t rows) {
        const std::string want = Golden(file);
        ASSERT_FALSE(want.empty()) << file;
        for (bool t : tableText)
            for (bool g : gpu) {
                SCOPED_TRACE(std::string(file) + " table text " + (t ? "on" : "off") + ", GPU " + (g ? "on" : "off"));
                PersonaController::GetInstance()->m_allowTableText.Reset(t);
                Kernel::Testing::SetGPUTelemetryEnabled(g);
                auto p = make();
                ASSERT_TRUE(p);
                EXPECT_EQ(p->shortcuts()->count(), rows);
                std::string got = DumpShortcuts(p.get());
                EXPECT_TRUE(got == want) << FirstDifference(got, want);
            }
    }
};

TEST_F(PersonaTablesTest, Layout) {
    Expect("layout.txt", Make<LayoutToolsKeyboardAcceleratorPopulator>(), {false, true}, {false, true}, 97);
}

TEST_F(PersonaTablesTest, Pixel) {
    auto make = Make<RasterToolsKeyboardAcceleratorPopulator>();
    Expect("pixel-gpu-tabletext.txt", make, {true}, {true}, 117);
    Expect("pixel-tabletext.txt", make, {true}, {false}, 116);
    Expect("pixel-gpu.txt", make, {false}, {true}, 116);
    Expect("pixel.txt", make, {false}, {false}, 115);
}

TEST_F(PersonaTablesTest, Vector) {
    auto make = Make<VectorToolsKeyboardAcceleratorPopulator>();
    Expect("vector-tabletext.txt", make, {true}, {false, true}, 93);
    Expect("vector.txt", make, {false}, {false, true}, 92);
}

TEST_F(PersonaTablesTest, Develop) {
    auto make = Make<DevelopToolsKeyboardAcceleratorPopulator>();
    Expect("develop-gpu.txt", make, {false, true}, {true}, 30);
    Expect("develop.txt", make, {false, true}, {false}, 29);
}

TEST_F(PersonaTablesTest, TheTraceSwitchChangesNoTable) {
    Kernel::Testing::SetTraceEnabled(false);
    Expect("layout.txt", Make<LayoutToolsKeyboardAcceleratorPopulator>(), {true}, {true}, 97);
    Expect("pixel-gpu-tabletext.txt", Make<RasterToolsKeyboardAcceleratorPopulator>(), {true}, {true}, 117);
}

// Every title a table gives as text is looked up in the context "Accelerator key", the pixel "q"
// row's in its own title. The strings table translates each text of the hand-written tables
// under those contexts only; a row looked up in any other context keeps its English title and its
// line no longer matches.
TEST_F(PersonaTablesTest, EveryTitleIsLookedUpInItsContext) {
    const std::string kOwnContext = "Toggle Edit Selection As Layer";
    auto split = [](const std::string& line) {
        std::vector<std::string> fields;
        for (size_t at = 0;;) {
            size_t tab = line.find('\t', at);
            fields.push_back(line.substr(at, tab - at));
            if (tab == std::string::npos) return fields;
            at = tab + 1;
        }
    };
    auto translated = [](const std::string& text, bool own) { return text + (own ? " (eigen)" : " (Taste)"); };
    const struct {
        const char* file;
        Factory make;
    } cases[] = {
        {"layout.txt", Make<LayoutToolsKeyboardAcceleratorPopulator>()},
        {"pixel-gpu-tabletext.txt", Make<RasterToolsKeyboardAcceleratorPopulator>()},
        {"vector-tabletext.txt", Make<VectorToolsKeyboardAcceleratorPopulator>()},
        {"develop-gpu.txt", Make<DevelopToolsKeyboardAcceleratorPopulator>()},
    };
    // The quoted titles of each file, and the file with each of them translated.
    std::set<std::string> texts;
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        std::istringstream in(Golden(c.file));
        std::string out;
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> f = split(line);
            ASSERT_EQ(f.size(), 10u) << c.file << ": " << line;
            const std::string& title = f[5];
            if (title.size() >= 2 && title.front() == '"') {
                const std::string text = title.substr(1, title.size() - 2);
                ASSERT_EQ(text.find_first_of("\"\\"), std::string::npos) << text;
                texts.insert(text);
                f[5] = "\"" + translated(text, text == kOwnContext) + "\"";
            }
            for (size_t i = 0; i < f.size(); ++i) out += f[i] + (i + 1 < f.size() ? "\t" : "\n");
        }
        expected.push_back(out);
    }
    ASSERT_TRUE(texts.count(kOwnContext));
    ScopedStringsBundle::Entries entries;
    for (const std::string& text : texts)
        if (text != kOwnContext)
            entries.push_back({ScopedStringsBundle::Key(text, "Accelerator key"), translated(text, false)});
    entries.push_back({ScopedStringsBundle::Key(kOwnContext, kOwnContext), translated(kOwnContext, true)});
    ScopedStringsBundle bundle(entries);

    PersonaController::GetInstance()->m_allowTableText.Reset(true);
    Kernel::Testing::SetGPUTelemetryEnabled(true);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].file);
        auto p = cases[i].make();
        const std::string got = DumpShortcuts(p.get());
        EXPECT_TRUE(got == expected[i]) << FirstDifference(got, expected[i]);
    }
}

// With a command manager that hands out a new object on every call, the calls each table makes
// and the rows that share one object show: the pixel table asks for the view commands for each
// view row and once for the studio commands, which its Character and Typography rows share with
// the page rows; the vector table asks once for each for its view and page rows. The blend-mode
// block asks once for the view commands of its own.
TEST_F(PersonaTablesTest, CommandObjectsAreFetchedAsOftenAsEachTableSays) {
    PersonaController::GetInstance()->m_allowTableText.Reset(true);
    Kernel::Testing::SetGPUTelemetryEnabled(true);
    const struct {
        const char* name;
        Factory make;
        int viewCalls, studioCalls;
        size_t viewTargets, studioTargets, blendTargets;  // distinct objects among the records
    } cases[] = {
        {"layout", Make<LayoutToolsKeyboardAcceleratorPopulator>(), 15, 33, 14, 33, 1},
        {"pixel", Make<RasterToolsKeyboardAcceleratorPopulator>(), 12, 1, 11, 1, 1},
        {"vector", Make<VectorToolsKeyboardAcceleratorPopulator>(), 2, 1, 1, 1, 1},
        {"develop", Make<DevelopToolsKeyboardAcceleratorPopulator>(), 5, 15, 5, 15, 0},
    };
    CommandControllerManager* manager = CommandControllerManager::GetInstance();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        manager->ResetCommandObjects();
        manager->setNewObjectOnEveryCallForTesting(true);
        auto p = c.make();
        EXPECT_EQ(manager->viewCommandsCallsForTesting(), c.viewCalls);
        EXPECT_EQ(manager->studioCommandsCallsForTesting(), c.studioCalls);
        std::set<const NSObject*> view, studio, blend;
        for (const id& o : p->shortcuts()->items()) {
            auto* d = static_cast<const KeyEquivalentData*>(o.get());
            const NSObject* t = d->target();
            if (d->categoryUID() == ShortcutCategory::Blend) blend.insert(t);
            else if (ObjectCast<ViewCommands>(const_cast<NSObject*>(t))) view.insert(t);
            else if (ObjectCast<StudioCommands>(const_cast<NSObject*>(t))) studio.insert(t);
        }
        EXPECT_EQ(view.size(), c.viewTargets);
        EXPECT_EQ(studio.size(), c.studioTargets);
        EXPECT_EQ(blend.size(), c.blendTargets);
        for (const NSObject* t : blend) EXPECT_EQ(view.count(t), 0u);
    }
}

}  // namespace
