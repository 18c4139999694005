#include "DocSession/TextBaseTarget.h"

#include "DocSession/CallLog.h"
#include "DocSession/SpellChecker.h"
#include "DocCommands/DocCommands.h"

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

bool DocumentSpellChecker::IsIgnoredWord(const Story::GlyphString& glyphs,
                                         const Kernel::Counted<Story::Language>& language) const {
    const std::string word = glyphs.Utf8();
    CallLog::Call("DocumentSpellChecker::IsIgnoredWord", word,
                  CallLog::Raw{language ? CallLog::Arg(language->GetCFDialect()) : std::string("nil")});
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ignored.count(word) != 0;
}

void DocumentSpellChecker::IgnoreWord(const std::string& word) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ignored.insert(word);
}

void DocumentSpellChecker::ClearIgnoredWords() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ignored.clear();
}

namespace Commands {

bool CreateCustomFieldFromTextCommand::CanCreateCustomFieldFromSelection(Kernel::Counted<Selection const> selection) {
    CallLog::Call("Commands::CreateCustomFieldFromTextCommand::CanCreateCustomFieldFromSelection",
                  CallLog::Raw{selection ? "<selection items=" + std::to_string(selection->GetCount()) + ">" : "nil"});
    return Kestrane::TextBaseTarget::StandInAnswers().canCreateCustomField;
}

}  // namespace Commands
