#include "DocSession/TextBaseTarget.h"

#include "DocSession/CallLog.h"

namespace Kestrane {

TextBaseTarget::Answers& TextBaseTarget::StandInAnswers() {
    static Answers answers;
    return answers;
}

void TextBaseTarget::GetSelectedFieldGlyph(Kernel::Counted<Tool> tool,
                                           Kernel::NonCounted<Story::FormattableFieldGlyph const>& fieldGlyph,
                                           Kernel::JailCounted<TextFlow>& textFlow,
                                           Kernel::Counted<Story::Language>& language, bool& fieldSelected) {
    CallLog::Call("Kestrane::TextBaseTarget::GetSelectedFieldGlyph", tool);
    // The engine's field glyphs live with their story; the stand-in keeps one of each kind.
    static const Kernel::Counted<Story::FormattableFieldGlyph> formattable(new Story::FormattableFieldGlyph(true));
    static const Kernel::Counted<Story::FormattableFieldGlyph> plain(new Story::FormattableFieldGlyph(false));
    const Answers& answers = StandInAnswers();
    fieldSelected = answers.fieldSelected;
    fieldGlyph = Kernel::NonCounted<Story::FormattableFieldGlyph const>(
        answers.fieldSelected ? (answers.fieldFormattable ? formattable.Get() : plain.Get()) : nullptr);
    textFlow = answers.inTextFlow ? Kernel::JailCounted<TextFlow>(Kernel::MakeCounted<TextFlow>())
                                  : Kernel::JailCounted<TextFlow>();
    language = Kernel::Counted<Story::Language>();
}

bool FieldFormatController::IsFormattable(Kernel::Counted<Story::FormattableFieldGlyph const> fieldGlyph) {
    const bool answer = fieldGlyph && fieldGlyph->IsFormattableStandIn();
    CallLog::Call("Kestrane::FieldFormatController::IsFormattable",
                  CallLog::Raw{fieldGlyph ? "<field glyph>" : "nil"});
    return answer;
}

}  // namespace Kestrane
