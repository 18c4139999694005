// The engine's text command target and field services that the text context menu asks.
#pragma once
#include "Kernel/Counted.h"
#include "TextFlow/Story.h"
#include "Tools.h"

namespace Story {
// A field in the text (page number, date, ...): some can be given a format.
class FormattableFieldGlyph : public Kernel::Countable {
public:
    explicit FormattableFieldGlyph(bool formattable) : m_formattable(formattable) {}
    bool IsFormattableStandIn() const { return m_formattable; }

private:
    bool m_formattable;
};
}  // namespace Story

// A frame's flow of text.
class TextFlow : public Kernel::Countable {};

namespace Kestrane {

class TextBaseTarget {
public:
    // What the tool's text selection holds of fields: the selected field glyph (or none), the text
    // flow it lies in (empty when none), its language, and whether a field is selected.
    static void GetSelectedFieldGlyph(Kernel::Counted<Tool> tool,
                                      Kernel::NonCounted<Story::FormattableFieldGlyph const>& fieldGlyph,
                                      Kernel::JailCounted<TextFlow>& textFlow, Kernel::Counted<Story::Language>& language,
                                      bool& fieldSelected);

    // Stand-in answers, the same for every tool. The defaults: the text lies in a flow, no field is
    // selected, and no custom field can be made.
    struct Answers {
        bool fieldSelected = false;
        bool inTextFlow = true;
        bool fieldFormattable = false;
        bool canCreateCustomField = false;
    };
    static Answers& StandInAnswers();
};

class FieldFormatController {
public:
    static bool IsFormattable(Kernel::Counted<Story::FormattableFieldGlyph const> fieldGlyph);
};

}  // namespace Kestrane
