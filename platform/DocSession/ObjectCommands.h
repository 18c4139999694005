// Static queries of the document commands that the canvas context menus validate their items
// with, and the anchor target's query. Each query is recorded in the call log with what it was
// given. Stand-in answers: a query answers whether its selection holds an item (the anchor query:
// whether there is a tool) unless an answer is fixed for its name ("ConvertToCurvesCommand::CanApplyTo").
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "Kernel/Counted.h"
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

class ConvertToCurvesCommand {
public:
    static bool CanApplyTo(Kernel::Counted<Selection const> selection);
};

class ConvertToPictureFrameCommand {
public:
    static bool CanApplyTo(Kernel::Counted<Selection const> selection);
};

class ConvertToTextFrameCommand {
public:
    static bool CanApplyTo(Kernel::Counted<Selection const> selection, bool flag);
};

class SetHyperlinkCommand {
public:
    static bool CanApplyToSelection(Kernel::Counted<Selection const> selection);
};

class PictureFramePropertiesCommand {
public:
    static bool CanApplyTo(Kernel::Counted<Selection const> selection);
};

class PictureFrameFitToContentCommand {
public:
    static bool CanApplyTo(Kernel::Counted<Selection const> selection);
};

class SetPreflightCommentCommand {
public:
    static bool CanSetPreflightComment(Kernel::Counted<Selection const> selection);
    static bool CanClearPreflightComment(Kernel::Counted<Selection const> selection);
};

namespace Kestrane {
class AnchorBaseTarget {
public:
    static bool CanInsertAnchor(Kernel::Counted<Tool> tool);
};
}  // namespace Kestrane
