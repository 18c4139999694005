// Shared set-up of the canvas context-menu tests: a running application controller whose
// current view shows a document, and a settable application object.
#pragma once
#include "../app/AppTestSupport.h"
#include "DocSession/Tools.h"

// The application object's picture-frame answer, settable.
class FrameApp : public NSApplication {
    QV_OBJECT(FrameApp)
public:
    BOOL frames = YES;
    BOOL allowPictureFrames() { return frames; }
};

class ContextMenuViewTest : public AppShellTest {
protected:
    void SetUp() override {
        AppShellTest::SetUp();
        m_app = New<AppController>();
        AppController::setRunningController(m_app.get());
        m_document = Kernel::MakeCounted<DocumentController>("Doc");
        m_view = New<DocumentView>(m_document);
        m_app->setCurrentView(m_view.get());
    }
    void TearDown() override {
        NSSetMenuTracker(nullptr);
        m_app->setCurrentView(nullptr);
        AppController::setRunningController(nullptr);
        NSApp = nullptr;
        AppShellTest::TearDown();
    }

    // Makes a FrameApp the running application object.
    void UseFrameApp() {
        m_nsApp = New<FrameApp>();
        NSApp = m_nsApp.get();
    }
    // Makes a select tool current, kept in m_tool.
    void UseSelectTool() {
        m_tool = Kernel::MakeCounted<SelectTool>(7);
        m_view->setCurrentToolQuietly(m_tool);
    }

public:  // cases written as lambdas reach the fixture's state
    Ref<FrameApp> m_nsApp;
    Ref<AppController> m_app;
    Kernel::Counted<DocumentController> m_document;
    Ref<DocumentView> m_view;
    Kernel::Counted<Tool> m_tool;
};
