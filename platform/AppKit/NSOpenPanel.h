// The open panel, run as a sheet. Without a window server a sheet stays open until its answer
// is given (tests, or the headless event source), then runs its completion handler.
#pragma once
#include <functional>

#include "Foundation/Foundation.h"

enum : NSInteger { NSModalResponseCancel = 0, NSModalResponseOK = 1 };

class NSOpenPanel : public NSObject {
    QV_OBJECT(NSOpenPanel)
public:
    static Ref<NSOpenPanel> openPanel();

    void setCanChooseFiles(BOOL can) { m_canChooseFiles = can; }
    void setCanChooseDirectories(BOOL can) { m_canChooseDirectories = can; }
    void setAllowsMultipleSelection(BOOL allows) { m_allowsMultipleSelection = allows; }
    BOOL canChooseFiles() const { return m_canChooseFiles; }
    BOOL canChooseDirectories() const { return m_canChooseDirectories; }
    BOOL allowsMultipleSelection() const { return m_allowsMultipleSelection; }
    // The chosen file's URL (a file path); nil until one is chosen.
    NSURL* URL() const { return m_url.get(); }

    // Shows the panel as a sheet on the window (nil: a free-standing panel) and returns at once.
    // The handler runs with the response when the sheet ends.
    void beginSheetModalForWindow(NSObject* window, std::function<void(NSInteger)> completionHandler);

    // Stand-in: the sheet that is open, if any; ending it chooses the path (OK) or cancels.
    static NSOpenPanel* openSheet();
    static void endOpenSheet(NSInteger response, const std::string& path = {});
    static void closeOpenSheetForTesting();

private:
    BOOL m_canChooseFiles = YES;
    BOOL m_canChooseDirectories = NO;
    BOOL m_allowsMultipleSelection = NO;
    Ref<NSURL> m_url;
    std::function<void(NSInteger)> m_handler;
};
