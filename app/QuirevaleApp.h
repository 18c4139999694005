// The product's application class: product 9, its configuration answers and its controller.
#pragma once
#include "UIFramework/Application.h"

class QuirevaleApp : public Application {
    QV_OBJECT(QuirevaleApp)
public:
    NSObject* init() override;
    Ref<AppController> createAppController() override;
    void initPersonaController();

    // Identity, links and distribution.
    Ref<NSString> applicationName();
    Ref<NSString> documentExtension();
    Ref<NSString> autoUpdateProductName();
    Ref<NSString> publicBetaURL();
    Ref<NSString> helpURL();
    Ref<NSString> authCallbackUrlScheme();
    Ref<NSString> tutorialsURL();
    Ref<NSString> releaseApp();

    // Fixed feature answers.
    BOOL deployToAppStore() { return NO; }
    BOOL deployToCustomerBeta() { return NO; }
    BOOL deployToPublicBeta() { return NO; }
    BOOL preferMultiSpread() { return YES; }
    BOOL supportPreflight() { return YES; }
    BOOL allowAdvancedTextFeatures() { return YES; }
    BOOL supportsTableText() { return YES; }
    BOOL preferAllowCanvasRotation() { return NO; }
    BOOL allowPictureFrames() { return YES; }
    BOOL canHandleCrashes() { return YES; }
    BOOL supportsPreviewMode() { return YES; }
    BOOL allowDwgImport() { return YES; }

    // Answers of the current persona.
    BOOL exposeHistorySnapshots();
    BOOL supportsCreateArtboards();
    BOOL supportGridPlanes();
    BOOL allowTextRuler();
    BOOL allowTextFramePanel();
    BOOL canCreatePathText();
    BOOL canCreateTextColumns();
    BOOL allowTableText();
    BOOL shouldGenerateHistograms();
    BOOL supportLiveFilters() override;
    BOOL preferPixelSelections();

private:
    // The current workspace's answer to sel with the default; NO without a current workspace.
    BOOL AskCurrentWorkspace(const char* selector, BOOL defaultValue);
};
