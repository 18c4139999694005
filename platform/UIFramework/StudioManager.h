// The studio: its panel pages by page id, and the swatches page's questions.
#pragma once
#include <map>
#include <optional>

#include "DocSession/Selection.h"
#include "Foundation/Foundation.h"
#include "Kernel/Counted.h"

class StudioManager : public NSObject {
    QV_OBJECT(StudioManager)
public:
    static StudioManager* GetInstance();
    // The page with that id; nil when the studio has none. Recorded in the call log.
    NSObject* pageWithID(NSInteger pageID);

    // Stand-in state: the pages by id. At start the studio holds a swatches page (12) alone.
    void setPage(NSInteger pageID, NSObject* page);
    void ResetForTesting();

private:
    std::map<NSInteger, Ref<NSObject>> m_pages;
};

class SwatchesPage : public NSObject {
    QV_OBJECT(SwatchesPage)
public:
    // Whether swatches can be made from the selection's fill and/or line. Recorded in the call
    // log; the stand-in answers whether the selection holds an item unless an answer is fixed.
    BOOL canAddFromSelection(const Kernel::Counted<Selection const>* selection, BOOL fromFill, BOOL fromLine);
    void setAnswer(std::optional<BOOL> answer) { m_answer = answer; }

    // Add swatches from the given selection's fill, line or both, or from the current selection
    // to the global swatches. Recorded in the call log.
    void addFromSelection(const Kernel::Counted<Selection const>* selection, BOOL fromFill, BOOL fromLine);
    void addSelectionToGlobalWithFill(BOOL fromFill, BOOL fromLine);

private:
    std::optional<BOOL> m_answer;
};

// The object styles of the studio.
class StylesManager : public NSObject {
    QV_OBJECT(StylesManager)
public:
    static StylesManager* defaultManager();
    // Makes object styles from the current selection in the current category; recorded.
    void addStylesFromSelectionToCurrentCategory();
};
