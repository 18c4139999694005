// Shared set-up of the shortcut tests: fresh stand-ins, a running application controller and,
// when asked, a document view whose document holds the given tools.
#pragma once
#include <string>
#include <vector>

#include "DocSession/ToolServices.h"
#include "Kernel/System.h"
#include "Kernel/Trace.h"
#include "UIFramework/KeyEquivalentData.h"
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"
#include "tests/app/AppTestSupport.h"

inline constexpr NSUInteger kShift = 0x20000, kControl = 0x40000, kOption = 0x80000, kCommand = 0x100000;
inline constexpr NSUInteger kNoTool = static_cast<NSUInteger>(NSNotFound);

inline Ref<NSString> S(std::string_view s) { return NSString::from(s); }
inline std::string Text(const NSString* s) { return s ? s->utf8() : "<nil>"; }

class ShortcutTest : public AppShellTest {
protected:
    void SetUp() override {
        AppShellTest::SetUp();
        m_controller = New<AppController>();
        AppController::setRunningController(m_controller.get());
    }
    void TearDown() override {
        AppController::setRunningController(nullptr);
        m_view = nullptr;
        m_controller = nullptr;
        AppShellTest::TearDown();
    }

    ViewCommands* View() const { return CommandControllerManager::GetInstance()->viewCommands(); }
    StudioCommands* Studio() const { return CommandControllerManager::GetInstance()->studioCommands(); }

    // Opens a document view on a document holding tools of these ids (plain tools), current tool first.
    DocumentView* OpenView(const std::vector<ToolID>& tools, ToolID current) {
        m_document = Kernel::MakeCounted<DocumentController>("Doc");
        for (ToolID t : tools) m_document->AddTool(Kernel::MakeCounted<Tool>(t));
        m_view = New<DocumentView>(m_document);
        m_view->setCurrentToolQuietly(Kernel::MakeCounted<Tool>(current));
        m_controller->setCurrentView(m_view.get());
        return m_view.get();
    }
    ToolID CurrentTool() const {
        auto t = m_view ? m_view->currentTool() : Kernel::Counted<Tool>();
        return t ? t->GetToolID() : -1;
    }
    // The remembered position of a group, or -1.
    static int Stored(ToolsKeyboardAcceleratorPopulator* p, std::string_view groupKey) {
        auto* n = ObjectCast<NSNumber>(p->lastCycledDictionary()->objectForKey(S(groupKey).get()));
        return n ? n->intValue() : -1;
    }
    static std::vector<NSUInteger> ToolIDs(NSArray* datas) {
        std::vector<NSUInteger> ids;
        for (auto& o : datas->items()) ids.push_back(static_cast<KeyEquivalentData*>(o.get())->associatedToolID());
        return ids;
    }
    static std::vector<std::string> Titles(NSArray* datas) {
        std::vector<std::string> titles;
        for (auto& o : datas->items()) titles.push_back(Text(static_cast<KeyEquivalentData*>(o.get())->title()));
        return titles;
    }

    Ref<AppController> m_controller;
    Kernel::Counted<DocumentController> m_document;
    Ref<DocumentView> m_view;
};
