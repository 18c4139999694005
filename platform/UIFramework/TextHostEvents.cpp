#include "UIFramework/TextHostEvents.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <type_traits>

#include "AppKit/NSSpellChecker.h"
#include "AppKit/NSView.h"
#include "DocSession/ObjectCommands.h"
#include "DocSession/PersonaController.h"
#include "DocSession/TextBaseTarget.h"
#include "UIFramework/AppController.h"
#include "UIFramework/ContextMenuRequest.h"

namespace {

struct TextState {
    std::string text;
    std::string dialect = "en-US";
};
TextState& State() {
    static TextState state;
    return state;
}

std::string RestOfLine(const std::vector<std::string>& words, size_t from) {
    std::string out;
    for (size_t i = from; i < words.size(); ++i) out += (i > from ? " " : "") + words[i];
    return out;
}

using ToolMaker = std::function<Kernel::Counted<Tool>()>;
template <class T>
ToolMaker Maker() {
    return [] { return Kernel::Counted<Tool>(Kernel::MakeCounted<T>(0)); };
}
const std::map<std::string, ToolMaker>& ToolClasses() {
    static const std::map<std::string, ToolMaker> classes = {
        {"Tool", Maker<Tool>()},
        {"TextTool", Maker<TextTool>()},
        {"TableTextTool", Maker<TableTextTool>()},
        {"SelectTool", Maker<SelectTool>()},
        {"SelectExportableTool", Maker<SelectExportableTool>()},
        {"ViewTool", Maker<ViewTool>()},
        {"ZoomTool", Maker<ZoomTool>()},
        {"NodeTool", Maker<NodeTool>()},
        {"ShapeNodeTool", Maker<ShapeNodeTool>()},
        {"FillToolBase", Maker<FillToolBase>()},
        {"FillTool", Maker<FillTool>()},
        {"TransformTool", Maker<TransformTool>()},
        {"StrokeWidthTool", Maker<StrokeWidthTool>()},
        {"SliceTool", Maker<SliceTool>()},
    };
    return classes;
}

// "Group(Curve,Inner(Leaf)) Star": top-level nodes apart by blanks or commas, children in brackets.
class NodeParser {
public:
    explicit NodeParser(std::string text) : m_text(std::move(text)) {}
    bool ParseList(std::vector<Kernel::Counted<Node>>& out, bool nested) {
        for (;;) {
            SkipSeparators();
            if (m_at == m_text.size()) return !nested;
            if (m_text[m_at] == ')') {
                if (!nested) return false;
                ++m_at;
                return true;
            }
            size_t start = m_at;
            while (m_at < m_text.size() && std::string(" ,()").find(m_text[m_at]) == std::string::npos) ++m_at;
            if (m_at == start) return false;
            Kernel::Counted<Node> node = MakeNode(m_text.substr(start, m_at - start));
            if (m_at < m_text.size() && m_text[m_at] == '(') {
                ++m_at;
                std::vector<Kernel::Counted<Node>> children;
                if (!ParseList(children, true)) return false;
                for (auto& child : children) node->AppendChild(child);
            }
            out.push_back(node);
        }
    }

private:
    // "pixel:", "filter:" or "mask:" before the name makes a pixel layer, a live filter's read-only
    // raster or a mask; any other name a plain node.
    static Kernel::Counted<Node> MakeNode(const std::string& word) {
        const size_t colon = word.find(':');
        const std::string kind = colon == std::string::npos ? std::string() : word.substr(0, colon);
        const std::string name = word.substr(colon == std::string::npos ? 0 : colon + 1);
        if (kind == "pixel") return Kernel::MakeCounted<RasterNode>(name);
        if (kind == "filter") return Kernel::MakeCounted<FilterRasterNode>(name);
        if (kind == "mask") return Kernel::MakeCounted<MaskRasterNode>(name);
        return Kernel::MakeCounted<Node>(word);
    }
    void SkipSeparators() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == ',')) ++m_at;
    }
    std::string m_text;
    size_t m_at = 0;
};

// One text item over the whole text, or n ranges cut from it.
void SelectText(DocumentController& document, size_t rangeCount) {
    auto story = Story::StoryText::FromUtf8(State().text, State().dialect);
    std::vector<Story::RangeRecord> ranges;
    const int64_t length = story->Length();
    for (size_t i = 0; i < rangeCount; ++i) {
        int64_t begin = length * static_cast<int64_t>(i) / static_cast<int64_t>(rangeCount);
        int64_t end = length * static_cast<int64_t>(i + 1) / static_cast<int64_t>(rangeCount);
        ranges.push_back({begin, end, 1, 0, 0});
    }
    auto selection = Kernel::MakeCounted<MutableSelection>();
    selection->AddStoryRanges(story, std::move(ranges));
    document.SetSelection(selection->CloneImmutable());
}

// A whole word that is a number: a signed integer for long, a decimal for double.
template <class T>
bool ParseNumber(const std::string& word, T& out) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    if constexpr (std::is_same_v<T, long>) out = std::strtol(word.c_str(), &end, 10);
    else out = std::strtod(word.c_str(), &end);
    if constexpr (std::is_same_v<T, double>)
        if (!std::isfinite(out)) return false;
    return errno == 0 && end && *end == '\0';
}

}  // namespace

bool ParseHostFlag(const std::string& word, bool& out) {
    if (word == "true" || word == "YES" || word == "1") out = true;
    else if (word == "false" || word == "NO" || word == "0") out = false;
    else return false;
    return true;
}

bool ParseHostCode(const std::string& word, int& out) {
    long value = 0;
    if (!ParseNumber(word, value) || value < INT32_MIN || value > INT32_MAX) return false;
    out = static_cast<int>(value);
    return true;
}

void ResetTextHostEvents() { State() = TextState{}; }

BOOL HandleTextHostEvent(AppController* controller, const std::vector<std::string>& words) {
    DocumentView* view = controller ? controller->getCurrentView() : nullptr;
    DocumentController* document = view ? view->unsafeDocumentController() : nullptr;
    if (words[0] == "context" && (words.size() <= 2 || words.size() == 4)) {
        WorkspaceInfo* workspace = controller ? controller->currentWorkspace() : nullptr;
        NSObject* menus = workspace ? workspace->contextMenuController() : nullptr;
        int kind = 0;
        double x = 0, y = 0;
        if (!menus || (words.size() >= 2 && !ParseHostCode(words[1], kind))) return NO;
        if (words.size() == 4) {
            if (!ParseNumber(words[2], x) || !ParseNumber(words[3], y)) return NO;
            NSEvent::SetMouseLocation(NSPoint{x, y});
        }
        menus->performSelector(QV_SELECTOR(showContextMenu:), ContextMenuRequest::WithKind(kind).get());
        return YES;
    }
    if (words[0] != "set" || words.size() < 3) return NO;
    const std::string& key = words[1];
    const std::string& value = words[2];
    bool flag = false;
    auto& fields = Kestrane::TextBaseTarget::StandInAnswers();
    if (key == "Tool" && view) {
        if (value == "none") {
            view->setCurrentToolQuietly({});
            return YES;
        }
        auto found = ToolClasses().find(value);
        if (found == ToolClasses().end()) return NO;
        view->setCurrentToolQuietly(found->second());
    } else if (key == "WantsTextContextMenu" && ParseHostFlag(value, flag) && view && view->currentTool()) {
        view->currentTool()->SetWantsTextContextMenu(flag);
    } else if (key == "CommandKey" && ParseHostFlag(value, flag)) {
        NSUInteger flags = NSEvent::modifierFlags() & ~NSUInteger(NSEvent::NSEventModifierFlagCommand);
        NSEvent::SetModifierFlags(flag ? flags | NSEvent::NSEventModifierFlagCommand : flags);
    } else if (key == "AdvancedText" && ParseHostFlag(value, flag)) {
        PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(flag);
    } else if (key == "TextLanguage" && words.size() == 3) {
        State().dialect = value;
    } else if (key == "SelectedText" && document) {
        State().text = RestOfLine(words, 2);
        SelectText(*document, 1);
    } else if (key == "StoryRanges" && document && words.size() == 3 && !value.empty() && value.size() <= 3 &&
               value.find_first_not_of("0123456789") == std::string::npos) {
        SelectText(*document, std::strtoul(value.c_str(), nullptr, 10));
    } else if (key == "SelectedNodes" && document) {
        std::vector<Kernel::Counted<Node>> nodes;
        if (!NodeParser(RestOfLine(words, 2)).ParseList(nodes, false)) return NO;
        auto selection = Kernel::MakeCounted<MutableSelection>();
        for (auto& node : nodes) selection->AddSelectable(Kernel::Counted<Selectable>(node.Get()), false);
        document->SetSelection(selection->CloneImmutable());
    } else if (key == "Misspelled") {
        NSSpellChecker::sharedSpellChecker()->SetMisspelling(value, std::vector<std::string>(words.begin() + 3, words.end()));
    } else if (key == "LearnedWord" && words.size() == 3) {
        NSSpellChecker::sharedSpellChecker()->SetLearned(value);
    } else if (key == "IgnoredWord" && document) {
        document->GetSpellChecker()->IgnoreWord(RestOfLine(words, 2));
    } else if (key == "FieldSelected" && ParseHostFlag(value, flag)) {
        fields.fieldSelected = flag;
    } else if (key == "FieldFormattable" && ParseHostFlag(value, flag)) {
        fields.fieldFormattable = flag;
    } else if (key == "InTextFlow" && ParseHostFlag(value, flag)) {
        fields.inTextFlow = flag;
    } else if (key == "CanCreateCustomField" && ParseHostFlag(value, flag)) {
        fields.canCreateCustomField = flag;
    } else if (key == "Query" && words.size() == 4 && CommandQueries::IsQuery(value)) {
        if (words[3] == "default") CommandQueries::SetAnswer(value, std::nullopt);
        else if (ParseHostFlag(words[3], flag)) CommandQueries::SetAnswer(value, flag);
        else return NO;
    } else if (key == "Preflight" && ParseHostFlag(value, flag)) {
        PersonaController::GetInstance()->m_preflightEnabled.Reset(flag);
    } else {
        return NO;
    }
    return YES;
}
