// The save and open panels, shown as sheets on a window. The user names the file in the sheet's
// text field; the panels take only files of the allowed types.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "AppKit/NSSheet.h"
#include "Foundation/Foundation.h"

class NSSavePanel : public NSObject {
    QV_OBJECT(NSSavePanel)
public:
    static Ref<NSSavePanel> savePanel();
    void setAllowedFileTypes(NSArray* types);
    void setShowsTagField(BOOL shows);
    // Shows the panel as a sheet; the handler gets NSModalResponseOK or NSModalResponseCancel.
    void beginSheetModalForWindow(NSWindow* window, std::function<void(NSInteger)> handler);
    // The chosen file; nil until the user has confirmed one.
    Ref<NSURL> URL() const;

protected:
    virtual const char* PanelName() const { return "NSSavePanel"; }
    virtual NSSheetRequest MakeRequest() const;
    std::vector<std::string> m_allowedTypes;
    std::string m_chosenPath;
};

class NSOpenPanel : public NSSavePanel {
    QV_OBJECT(NSOpenPanel)
public:
    static Ref<NSOpenPanel> openPanel();
    void setCanChooseFiles(BOOL can);
    void setCanChooseDirectories(BOOL can);
    void setAllowsMultipleSelection(BOOL allows);
    BOOL canChooseFiles() const { return m_canChooseFiles; }
    BOOL canChooseDirectories() const { return m_canChooseDirectories; }
    BOOL allowsMultipleSelection() const { return m_allowsMultipleSelection; }

protected:
    const char* PanelName() const override { return "NSOpenPanel"; }
    NSSheetRequest MakeRequest() const override;

private:
    BOOL m_canChooseFiles = YES;
    BOOL m_canChooseDirectories = NO;
    BOOL m_allowsMultipleSelection = NO;
};
