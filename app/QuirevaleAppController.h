// The product's application controller: default document size, the four workspaces, documents
// and the framework's questions about page features and the welcome screen.
#pragma once
#include "AppKit/NSView.h"
#include "app/SharedAppController.h"

class QuirevaleAppController : public SharedAppController {
    QV_OBJECT(QuirevaleAppController)
public:
    void initialise() override;
    Ref<NSArray> createWorkspaces() override;
    BOOL hasToolPalette() override { return YES; }
    BOOL hasExportPersona() override { return NO; }
    Ref<NSObject> createDocumentWithController(Kernel::Counted<DocumentController const> controller,
                                               bool embedded) override;
    void shutDown() override;
    void applicationDidFinishLaunching() override;
    Ref<NSColor> welcomeScreenBackground();
    Ref<NSURL> welcomeScreenCheckURL();
    BOOL allowFacingPageCreation() { return YES; }
    BOOL allowMultiSpreadSetup() { return YES; }
    BOOL allowImagesInDocumentOpen() { return YES; }
    BOOL allowBooksInDocumentOpen() { return YES; }
    BOOL allowPageNavigation() { return YES; }
    BOOL allowBleed() { return YES; }
    int defaultPageType() { return 1; }
    BOOL allowVectorInStock() { return YES; }

private:
    Ref<NSArray> m_uiObjectsArray;
};

