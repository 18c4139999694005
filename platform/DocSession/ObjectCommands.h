// Static queries of the document commands that the canvas context menus validate their items
// with, and the anchor target's query. Each query is recorded in the call log with what it was
// given. Stand-in answers: a query answers whether its selection holds an item (the anchor query:
// whether there is a tool) unless an answer is fixed for its name ("ConvertToCurvesCommand::CanApplyTo").
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "DocumentCommand.h"
#include "Kernel/Counted.h"
#include "Kernel/String.h"
#include "Selection.h"
#include "Tools.h"

namespace CommandQueries {
// Fixes the answer of the named query; an empty answer goes back to the default.
void SetAnswer(std::string_view query, std::optional<bool> answer);
// Whether name is one of the queries below.
bool IsQuery(std::string_view query);
void ResetForTesting();
// How the call log shows a selection handed to a query: <selection items=N>, or nil.
std::string Describe(const Kernel::Counted<Selection const>& selection);
}  // namespace CommandQueries

// The commands below are the engine's: the stand-in keeps what each was built with, for the
// call log and for tests.

// Where a frame's content is anchored; 5 is the centre.
enum class SpatialAnchor : int32_t {};

class ConvertToCurvesCommand : public DocumentCommand {
public:
    explicit ConvertToCurvesCommand(const Kernel::Counted<Selection const>& selection) : m_selection(selection) {}
    static bool CanApplyTo(Kernel::Counted<Selection const> selection);
    const Kernel::Counted<Selection const>& GetSelection() const { return m_selection; }
    std::string Describe() const override;

private:
    Kernel::Counted<Selection const> m_selection;
};

class ConvertToPictureFrameCommand : public DocumentCommand {
public:
    explicit ConvertToPictureFrameCommand(bool flag) : m_flag(flag) {}
    static bool CanApplyTo(Kernel::Counted<Selection const> selection);
    bool GetFlag() const { return m_flag; }
    std::string Describe() const override;

private:
    bool m_flag;
};

class ConvertToTextFrameCommand {
public:
    static bool CanApplyTo(Kernel::Counted<Selection const> selection, bool flag);
};

class SetHyperlinkCommand {
public:
    static bool CanApplyToSelection(Kernel::Counted<Selection const> selection);
};

class PictureFramePropertiesCommand : public DocumentCommand {
public:
    // The fit control word, the anchor and the selection (empty: the current one).
    PictureFramePropertiesCommand(int control, SpatialAnchor anchor, Kernel::Counted<Selection const> selection)
        : m_control(control), m_anchor(anchor), m_selection(std::move(selection)) {}
    static bool CanApplyTo(Kernel::Counted<Selection const> selection);
    // Write the selection's current anchor or fit control word into the out-argument when it has
    // one, else leave it as it is; the result says whether they wrote. Recorded in the call log.
    static bool GetCurrentAnchor(Kernel::Counted<Selection const> selection, SpatialAnchor& anchor);
    static bool GetCurrentControl(Kernel::Counted<Selection const> selection, unsigned int& control);
    // Stand-in answers of the two above: none (nothing written) unless set.
    static void SetCurrentAnchorForTesting(std::optional<int32_t> anchor);
    static void SetCurrentControlForTesting(std::optional<unsigned int> control);

    int GetControl() const { return m_control; }
    SpatialAnchor GetAnchor() const { return m_anchor; }
    const Kernel::Counted<Selection const>& GetSelection() const { return m_selection; }
    std::string Describe() const override;

private:
    int m_control;
    SpatialAnchor m_anchor;
    Kernel::Counted<Selection const> m_selection;
};

class PictureFrameFitToContentCommand : public DocumentCommand {
public:
    static bool CanApplyTo(Kernel::Counted<Selection const> selection);
    std::string Describe() const override { return "PictureFrameFitToContentCommand()"; }
};

class SetPreflightCommentCommand : public DocumentCommand {
public:
    SetPreflightCommentCommand(Kernel::StringT<Kernel::TEncUtf8> comment, bool flag, Kernel::Counted<Selection const> selection)
        : m_comment(std::move(comment)), m_flag(flag), m_selection(std::move(selection)) {}
    static bool CanSetPreflightComment(Kernel::Counted<Selection const> selection);
    static bool CanClearPreflightComment(Kernel::Counted<Selection const> selection);
    const Kernel::StringT<Kernel::TEncUtf8>& GetComment() const { return m_comment; }
    bool GetFlag() const { return m_flag; }
    const Kernel::Counted<Selection const>& GetSelection() const { return m_selection; }
    std::string Describe() const override;

private:
    Kernel::StringT<Kernel::TEncUtf8> m_comment;
    bool m_flag;
    Kernel::Counted<Selection const> m_selection;
};

namespace Kestrane {
class AnchorBaseTarget {
public:
    static bool CanInsertAnchor(Kernel::Counted<Tool> tool);
};

// Entry points that build and queue their command for the tool's document; recorded.
class VectorBaseTarget {
public:
    static void EnqueueConvertToTextFrameWithTool(Kernel::Counted<Tool> tool);
};

class StructureBaseTarget {
public:
    static void EnqueueAddNewVectorLayerWithCurrentSelectionWithTool(Kernel::Counted<Tool> tool);
};
}  // namespace Kestrane
