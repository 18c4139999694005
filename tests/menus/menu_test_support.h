// Fresh stand-ins with an application object and a running application controller, as the
// menu actions find them.
#pragma once
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "AppKit/AppKit.h"
#include "DocSession/CallLog.h"
#include "UIFramework/UIFramework.h"

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetStandIns();
        m_app = New<NSApplication>();
        NSApp = m_app.get();
        m_appController = New<AppController>();
        AppController::setRunningController(m_appController.get());
        CallLog::Clear();
    }
    void TearDown() override {
        m_appController->setCurrentView(nullptr);
        AppController::setRunningController(nullptr);
        m_appController = nullptr;
        NSApp = nullptr;
        m_app = nullptr;
        ResetStandIns();
    }

    // The pixel persona's menu resource, loaded with the application as its owner.
    Ref<NSArray> LoadRasterMenu() {
        std::ifstream in(std::string(QV_SOURCE_DIR) + "/resources/MainMenuRaster.nib");
        std::stringstream text;
        text << in.rdbuf();
        Ref<NSArray> objects;
        EXPECT_TRUE(LoadNibFromText(text.str(), "MainMenuRaster.nib", m_app.get(), &objects));
        return objects;
    }

    Ref<NSApplication> m_app;
    Ref<AppController> m_appController;
};
