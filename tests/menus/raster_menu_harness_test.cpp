// Chooses every item of the pixel persona's main menu with a view, without one and while the
// view is dragged, and compares what reached the engine and the framework with the hand-written
// tables beside this file. Every count the fixture holds must be back where it started.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "AppKit/AppKit.h"
#include "AppKit/NSSheet.h"
#include "DocSession/AdjustmentNodes.h"
#include "DocSession/CallLog.h"
#include "DocSession/PersonaController.h"
#include "Kernel/Dispatch.h"
#include "Geometry/Spline.h"
#include "Raster/AdjustmentParams.h"
#include "UIFramework/UIFramework.h"
#include "menu_table.h"
#include "menu_test_support.h"
#include "menus/MenuBarRasterController.h"

namespace {

void CollectControllerItems(NSMenu* menu, std::vector<Ref<NSMenuItem>>& out) {
    for (const auto& item : menu->itemArray()) {
        if (item->submenu()) CollectControllerItems(item->submenu(), out);
        if (ObjectCast<MenuBarRasterController>(item->target())) out.push_back(item);
    }
}

// The objects a choice may take counts on, and the stand-in objects it may create.
struct Counts {
    std::vector<long> tools;
    long document = 0;
    long view = 0;
    long splines = 0, cubes = 0, gradients = 0, colours = 0;
    std::vector<long> profiles;
    bool operator==(const Counts&) const = default;
};

std::string Describe(const Counts& c) {
    std::string s = "document " + std::to_string(c.document) + ", view " + std::to_string(c.view) + ", splines " +
                    std::to_string(c.splines) + ", cubes " + std::to_string(c.cubes) + ", gradients " +
                    std::to_string(c.gradients) + ", colours " + std::to_string(c.colours) + ", tools";
    for (long t : c.tools) s += " " + std::to_string(t);
    s += ", profiles";
    for (long p : c.profiles) s += " " + std::to_string(p);
    return s;
}

// Puts the harness's folder in place of "$TMP".
std::string Expand(std::string text, const std::string& folder) {
    for (size_t at = text.find("$TMP"); at != std::string::npos; at = text.find("$TMP", at + folder.size()))
        text.replace(at, 4, folder);
    return text;
}

class RasterMenuHarness : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        // The snapshot sheet offers the date and time of now, in the user's region and zone.
        NSDate::SetNowOverride(1796769986);  // 2026-12-08 22:46:26 UTC
        NSLocale::SetCountryCodeOverride(std::string("US"));
        setenv("TZ", "UTC", 1);
        tzset();
        char pattern[] = "/tmp/qv-menu-harness-XXXXXX";
        m_folder = mkdtemp(pattern);
        std::ofstream(m_folder + "/mask.kqselection") << "selection";
        m_nibObjects = LoadRasterMenu();
        ASSERT_TRUE(m_app->mainMenu());
        CollectControllerItems(m_app->mainMenu(), m_items);
        // The soft-proof record takes the CMYK default profile.
        Raster::ICCManager::GetInstance().SetDefaultCMYKProfileFile(
            (std::string(QV_BUNDLE_RESOURCES) + "/USWebCoatedSWOP.icc").c_str());
        for (int format : {0, 4}) m_profiles.push_back(Raster::ICCManager::GetInstance().GetDefaultProfileForFormat(format));
    }
    void TearDown() override {
        m_items.clear();
        m_nibObjects = nullptr;
        MenuTest::TearDown();
        NSLocale::SetCountryCodeOverride(std::nullopt);
        unsetenv("TZ");
        tzset();
        std::string cmd = "rm -rf '" + m_folder + "'";
        [[maybe_unused]] int rc = std::system(cmd.c_str());
    }

    // A document whose tool list starts with a null entry and the plain current tool, then one
    // tool of every filter class.
    void MakeDocument(const std::string& mode) {
        m_document = Kernel::MakeCounted<DocumentController>("Harness");
        m_document->AddTool(Kernel::Counted<Tool>());
        m_currentTool = Kernel::MakeCounted<Tool>(7);
        m_document->AddTool(m_currentTool);
        for (auto& tool : MakeFilterTools(200)) m_document->AddTool(tool);
        m_view = New<DocumentView>(m_document);
        m_view->setCurrentToolQuietly(m_currentTool);
        auto window = New<DocumentWindow>();
        window->setTitle(NSString::from("Harness").get());
        m_view->setWindow(window.get());
        m_view->setDragging(mode == "dragging");
        m_appController->setCurrentView(mode == "noview" ? nullptr : m_view.get());
    }

    Counts Take() const {
        Counts c;
        for (Tool* t : m_document->GetTools()) c.tools.push_back(t ? t->GetRefCount() : 0);
        c.document = m_document->GetRefCount();
        c.view = m_view->retainCount();
        c.splines = Geometry::Spline::Live();
        c.cubes = Raster::ColourCubeRGB::Live();
        c.gradients = Gradient::Live();
        c.colours = Kernel::Consolidated<Renderer::ColourRGB>::Live();
        for (auto& p : m_profiles) c.profiles.push_back(p ? p->GetRefCount() : 0);
        return c;
    }

    // Chooses the item in the mode and answers what the log recorded.
    std::vector<std::string> Choose(NSMenuItem* item, const std::string& mode, const std::vector<std::string>& answers,
                                    const std::vector<std::string>& texts, Counts& before, Counts& after) {
        MakeDocument(mode);
        size_t next = 0;
        NSSetAlertResponder([&](const NSAlertRequest& request) -> NSInteger {
            if (next < answers.size()) {
                const std::string& button = answers[next++];
                for (int i = 0; i < 3; ++i)
                    if (request.buttons[i] == button) return NSAlertFirstButtonReturn + i;
                ADD_FAILURE() << "\"" << request.title << "\" has no button \"" << button << "\"";
            }
            return NSAlertFirstButtonReturn + request.unanswered;
        });
        before = Take();
        CallLog::Clear();
        {
            // Sent as AppKit sends an enabled item's action: whether an item is enabled is the
            // validation's business and has tests of its own.
            AutoreleasePool pool;
            id target(item->target());
            target->performSelector(item->action(), item);
            // Sheets stay up after the action: the user types and answers them later.
            for (size_t typed = 0; NSOpenSheet();) {
                if (typed < texts.size()) NSSetSheetText(Expand(texts[typed++], m_folder));
                if (next >= answers.size()) {
                    NSCancelSheet();
                    continue;
                }
                std::string why = NSPressSheetButton(answers[next++]);
                if (!why.empty()) {
                    ADD_FAILURE() << why;
                    NSCancelSheet();
                }
            }
            // Completions the engine posted to the main thread.
            Kernel::Dispatch::RunMainThreadQueue();
        }
        std::vector<std::string> log = CallLog::Entries();
        NSSetAlertResponder(nullptr);
        // An item that did nothing in this mode had nothing to answer.
        if (!log.empty()) {
            EXPECT_EQ(next, answers.size()) << "answers left over";
        }
        // The view's own choice of tool is its state, not a count the action kept; nor are the
        // counts of the engine's command queue.
        m_view->setCurrentToolQuietly(m_currentTool);
        PersonaController::GetInstance()->ResetForTesting();
        after = Take();
        m_appController->setCurrentView(nullptr);
        m_view = nullptr;
        m_currentTool.Reset();
        m_document.Reset();
        return log;
    }

    Ref<NSArray> m_nibObjects;
    std::vector<Ref<NSMenuItem>> m_items;
    std::vector<Kernel::Counted<Raster::ICCProfile>> m_profiles;
    Kernel::Counted<DocumentController> m_document;
    Kernel::Counted<Tool> m_currentTool;
    Ref<DocumentView> m_view;
    std::string m_folder;
};

std::string Lines(const std::vector<std::string>& entries) {
    std::string s;
    for (auto& e : entries) s += "\n    " + e;
    return entries.empty() ? "\n    (nothing)" : s;
}

TEST_F(RasterMenuHarness, EveryItemReachesTheEngineAsItsTableSays) {
    std::vector<std::string> errors;
    std::vector<MenuTableRow> rows = ReadMenuTables(std::string(QV_SOURCE_DIR) + "/tests/menus/tables", errors);
    for (auto& e : errors) ADD_FAILURE() << e;
    std::map<std::string, const MenuTableRow*> bySelector;
    for (const auto& row : rows)
        if (!bySelector.emplace(row.selector, &row).second) ADD_FAILURE() << row.file << ":" << row.line << ": " << row.selector << " has two tables";

    std::set<std::string> chosen;
    for (const auto& item : m_items) {
        std::string selector = sel_getName(item->action());
        SCOPED_TRACE(selector);
        EXPECT_TRUE(item->target()->respondsToSelector(item->action())) << "the controller does not answer it";
        auto it = bySelector.find(selector);
        if (it == bySelector.end()) {
            ADD_FAILURE() << "the menu item " << selector << " has no table rows";
            continue;
        }
        if (!chosen.insert(selector).second) continue;  // one item per action is enough
        for (const auto& mode : MenuTableModes()) {
            Counts before, after;
            std::vector<std::string> log = Choose(item.get(), mode, it->second->answers, it->second->texts, before, after);
            std::vector<std::string> want = it->second->expected.at(mode);
            for (auto& w : want) w = Expand(w, m_folder);
            EXPECT_EQ(log, want) << it->second->file << ":" << it->second->line << " " << selector << " " << mode
                                 << "\n  expected:" << Lines(want) << "\n  recorded:" << Lines(log);
            EXPECT_EQ(before, after) << selector << " " << mode << " left counts changed\n  before: " << Describe(before)
                                     << "\n  after:  " << Describe(after);
        }
    }
    for (const auto& row : rows)
        if (!chosen.count(row.selector)) ADD_FAILURE() << row.file << ":" << row.line << ": no menu item sends " << row.selector;
}

}  // namespace
