// The regression side of the stand-in document engine: documents, history, snapshots, macro,
// commands and command coverage.
#include "DocumentEngine.h"

#include <lcms2.h>

#include <algorithm>
#include <map>

#include "DocumentState.h"
#include "EngineFaults.h"
#include "Kernel/EngineServices.h"
#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"
#include "Kernel/Trace.h"
#include "PersonaController.h"

namespace DocEngine {

void DocumentModelDeleter::operator()(DocumentModel* model) const { delete model; }

namespace {

void RecordRun(const DrawCommand& command) {
    CommandCoverage::RecordExecutedCommand(Kernel::String(DrawCommand::Identifier(command.kind)));
}

}  // namespace

DocumentModel::DocumentModel(const DocumentSpec& spec, Kernel::Counted<Raster::ICCProfile> profile, std::string path)
    : m_format(spec.format),
      m_profile(std::move(profile)),
      m_profileName(spec.profile),
      m_path(std::move(path)),
      m_spreads(spec.spreads),
      m_base(spec.base),
      m_history(spec.history),
      m_position(std::min(spec.position, spec.history.size())),
      m_baseContent(MakeContent(spec.format, spec.spreads)),
      m_macro(new Macro(spec.macro)) {
    for (const SnapshotSpec& s : spec.snapshots)
        m_snapshots.push_back(Kernel::MakeCounted<DocumentSnapshot>(Kernel::String(s.description), s.wanted, m_format,
                                                                    m_profile, m_profileName, m_spreads, s.commands));
}

DocumentModel::DocumentModel(DocumentSnapshot& snapshot)
    : m_format(snapshot.GetFormat()),
      m_profile(snapshot.GetProfile()),
      m_profileName(snapshot.GetProfileName()),
      m_spreads(snapshot.GetSpreadSizes()),
      m_base(snapshot.GetCommands()),
      m_baseContent(snapshot.GetContent()),
      m_content(m_baseContent),
      m_macro(new Macro({})) {
    std::call_once(m_drawn, [] {});  // the snapshot's pixels are its content already
}

DocumentModel::~DocumentModel() {
    // Blocks still lent go with their renders. No lock: a block a render takes now is its alone
    // once the content below lets go of it.
    m_loans->Changed();
}

void DocumentModel::EnsureDrawn() const {
    std::call_once(m_drawn, [this] {
        DrawCommands(m_base.begin(), m_base.end(), m_baseContent);
        m_content = m_baseContent;
        DrawCommands(m_history.begin(), m_history.begin() + ptrdiff_t(m_position), m_content);
    });
}

void DocumentModel::EnsureWhole() const {
    EnsureDrawn();
    if (m_loans->IsWhole()) return;
    m_loans->Changed();
    m_content = m_baseContent;
    DrawCommands(m_history.begin(), m_history.begin() + ptrdiff_t(m_position), m_content);
}

void DocumentModel::BeginChange() {
    EnsureWhole();
    m_loans->Changed();
}

void DocumentModel::SetHistoryIndex(int32_t index) {
    EnsureDrawn();
    const size_t target = index < 0 ? 0 : std::min(size_t(index) + 1, m_history.size());
    if (target != m_position) EngineFaults::Step(target < m_position ? "undo" : "redo");
    if (target > m_position) {
        BeginChange();
        DrawCommands(m_history.begin() + ptrdiff_t(m_position), m_history.begin() + ptrdiff_t(target), m_content);
        for (size_t k = m_position; k < target; ++k) RecordRun(*m_history[k]);
    } else if (target < m_position) {
        m_loans->Changed();  // drawn anew from the base, whatever renders hold
        m_content = m_baseContent;
        DrawCommands(m_history.begin(), m_history.begin() + ptrdiff_t(target), m_content);
    }
    m_position = target;
}

void DocumentModel::AppendCommands(const CommandList& commands) {
    BeginChange();
    for (const auto& command : commands) {
        m_history.resize(m_position);
        m_history.push_back(command);
        command->Apply(m_content);
        RecordRun(*command);
        ++m_position;
    }
    const int limit = PersonaController::GetInstance()->GetStackLimit();
    if (limit >= 0) EnforceStackLimit(limit);
}

void DocumentModel::EnforceStackLimit(int limit) {
    EnsureDrawn();
    if (limit < 0 || m_history.size() <= size_t(limit)) return;
    EngineFaults::Step("teardown");
    BeginChange();
    size_t excess = m_history.size() - size_t(limit);
    // Entries to redo go first.
    const size_t redone = std::min(excess, m_history.size() - m_position);
    m_history.resize(m_history.size() - redone);
    excess -= redone;
    if (excess == 0) return;
    // Then the oldest entries in effect become base content, all in one move: erasing them
    // one at a time from the front would take time growing with the square of their number.
    const auto first = m_history.begin(), last = m_history.begin() + std::ptrdiff_t(excess);
    m_base.insert(m_base.end(), first, last);
    if (excess == m_position) m_baseContent = m_content;  // every entry in effect is now base content
    else
        for (auto it = first; it != last; ++it) (*it)->Apply(m_baseContent);
    m_history.erase(first, last);
    m_position -= excess;
}

size_t DocumentModel::Deduplicate() {
    EngineFaults::Step("tilestore");
    BeginChange();
    std::vector<Kernel::Counted<TileBlock>*> slots;
    auto add = [&](Content& content) {
        for (SpreadContent& spread : content)
            for (auto& slot : spread.Slots()) slots.push_back(&slot);
    };
    add(m_baseContent);
    add(m_content);
    // A snapshot nobody has shown has no tiles yet: there is nothing of it to share.
    for (auto& snapshot : m_snapshots)
        if (snapshot->IsDrawn()) add(snapshot->GetContent());
    return DeduplicateBlocks(slots);
}

std::vector<Raster::DynamicBitmap> DocumentModel::Render() const {
    EngineFaults::Step("render");
    EnsureWhole();
    std::vector<Raster::DynamicBitmap> bitmaps;
    bitmaps.reserve(m_content.size());
    for (const SpreadContent& spread : m_content) bitmaps.push_back(RenderSpread(spread, *m_loans));
    return bitmaps;
}

DocumentSpec DocumentModel::ToSpec() const {
    DocumentSpec spec;
    spec.format = m_format;
    spec.profile = m_profileName;
    spec.spreads = m_spreads;
    spec.base = m_base;
    spec.history = m_history;
    spec.position = m_position;
    for (const auto& snapshot : m_snapshots)
        spec.snapshots.push_back({snapshot->GetDescription().ToStd(), snapshot->IsWantedForRegression(),
                                  snapshot->GetCommands()});
    spec.macro = m_macro->GetCommands();
    return spec;
}

}  // namespace DocEngine

// ---- Profiles -----------------------------------------------------------------------------

namespace {

std::mutex& ProfileCacheMutex() {
    static std::mutex m;
    return m;
}

// Profiles read from files, one object per path so that documents naming one file share it.
std::map<std::string, Kernel::Counted<Raster::ICCProfile>>& ProfileCache() {
    static auto* cache = [] {
        auto* c = new std::map<std::string, Kernel::Counted<Raster::ICCProfile>>;
        Kernel::SharedClassProperties::AddSweep([c](bool) {
            std::map<std::string, Kernel::Counted<Raster::ICCProfile>> dropped;
            std::lock_guard<std::mutex> lock(ProfileCacheMutex());
            dropped.swap(*c);
        });
        return c;
    }();
    return *cache;
}

cmsColorSpaceSignature ColourSpaceOf(const DocEngine::FormatInfo& format) {
    switch (format.code) {
    case Raster::kFormatI8A8:
    case Raster::kFormatI16A16: return cmsSigGrayData;
    case Raster::kFormatCMYKA8: return cmsSigCmykData;
    case Raster::kFormatLabA16: return cmsSigLabData;
    default: return cmsSigRgbData;
    }
}

// The document's profile, or an error text; a format without a default profile has none.
bool ProfileForDocument(const DocEngine::DocumentSpec& spec, Kernel::Counted<Raster::ICCProfile>& profile,
                        std::string& error) {
    if (spec.profile == "default") {
        profile = Raster::ICCManager::GetInstance().GetDefaultProfileForFormat(spec.format->code);
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(ProfileCacheMutex());
        auto& cache = ProfileCache();
        auto it = cache.find(spec.profile);
        if (it != cache.end()) profile = it->second;
    }
    if (!profile) {
        std::string why;
        profile = Raster::ICCProfile::CreateFromFile(spec.profile.c_str(), &why);
        if (!profile) {
            error = "\"" + Kernel::Excerpt(spec.profile, Kernel::kPathExcerptBytes) + "\" is not an ICC profile that can be read: " + why;
            return false;
        }
        std::lock_guard<std::mutex> lock(ProfileCacheMutex());
        ProfileCache().emplace(spec.profile, profile);
    }
    if (cmsGetColorSpace(static_cast<cmsHPROFILE>(profile->GetHandle())) != ColourSpaceOf(*spec.format)) {
        error = "the profile \"" + Kernel::Excerpt(spec.profile, Kernel::kPathExcerptBytes) + "\" does not fit the format " + spec.format->name;
        profile.Reset();
        return false;
    }
    return true;
}

DocEngine::DocumentModel* ModelOf(const DocumentController* document) {
    return document ? document->GetModel() : nullptr;
}

}  // namespace

// ---- Document controller ------------------------------------------------------------------

void DocumentController::Settle() { WaitUntilCommandQueueEmpty(); }

void DocumentController::ExecuteCommand(Kernel::Counted<DocumentCommand> command) {
    if (command) command->Execute(*this);
}

void DocumentController::EnqueueCommand(Kernel::Counted<DocumentCommand> command) {
    if (!command) return;
    // The work holds the command, never the document: the document outlives its queue.
    EnqueueWork([this, command] { command->Execute(*this); });
}

DocumentHistory DocumentController::GetDocumentHistory() { return DocumentHistory(this); }

Kernel::Counted<Macro> DocumentController::GetMacro() const {
    DocEngine::DocumentModel* model = GetModel();
    if (!model) return {};
    std::lock_guard<std::mutex> lock(model->Mutex());
    return model->GetMacro();
}

int32_t DocumentController::GetSnapshotCount() const {
    DocEngine::DocumentModel* model = GetModel();
    if (!model) return 0;
    std::lock_guard<std::mutex> lock(model->Mutex());
    return int32_t(model->GetSnapshots().size());
}

Kernel::Counted<DocumentSnapshot> DocumentController::GetSnapshotAtIndex(int32_t index) const {
    DocEngine::DocumentModel* model = GetModel();
    if (!model) return {};
    std::lock_guard<std::mutex> lock(model->Mutex());
    const auto& snapshots = model->GetSnapshots();
    if (index < 0 || size_t(index) >= snapshots.size()) return {};
    return snapshots[size_t(index)];
}

bool DocumentController::NewDocument(Kernel::Counted<DocumentSnapshot> snapshot, const NewDocParams&) {
    if (!snapshot || GetModel() || !snapshot->GetFormat()) return false;
    SetModel(std::unique_ptr<DocEngine::DocumentModel, DocEngine::DocumentModelDeleter>(
        new DocEngine::DocumentModel(*snapshot)));
    return true;
}

Raster::Format DocumentController::GetFormat() const {
    DocEngine::DocumentModel* model = GetModel();
    return model ? model->GetFormat().code : m_format;
}

Kernel::Counted<Raster::ICCProfile> DocumentController::GetProfile() const {
    DocEngine::DocumentModel* model = GetModel();
    return model ? model->GetProfile() : Kernel::Counted<Raster::ICCProfile>();
}

void DocumentController::SetModel(std::unique_ptr<DocEngine::DocumentModel, DocEngine::DocumentModelDeleter> model) {
    Settle();
    m_model = std::move(model);
}

int32_t DocumentHistory::GetSize() const {
    DocEngine::DocumentModel* model = ModelOf(m_document);
    if (!model) return 0;
    std::lock_guard<std::mutex> lock(model->Mutex());
    return int32_t(model->GetHistorySize());
}

int32_t DocumentHistory::GetUndoPosition() const {
    DocEngine::DocumentModel* model = ModelOf(m_document);
    if (!model) return 0;
    std::lock_guard<std::mutex> lock(model->Mutex());
    return int32_t(model->GetPosition());
}

void DocumentHistory::EnforceStackLimit() {
    DocEngine::DocumentModel* model = ModelOf(m_document);
    if (!model) return;
    std::lock_guard<std::mutex> lock(model->Mutex());
    model->EnforceStackLimit(PersonaController::GetInstance()->GetStackLimit());
}

Macro::Macro(DocEngine::CommandList commands) : m_commands(std::move(commands)) {
    for (const auto& command : m_commands) m_raw.emplace_back(command->ToText());
}

DocumentSnapshot::DocumentSnapshot(Kernel::String description, bool wanted, const DocEngine::FormatInfo* format,
                                   Kernel::Counted<Raster::ICCProfile> profile, std::string profileName,
                                   std::vector<std::pair<int, int>> spreads, DocEngine::CommandList commands)
    : m_description(std::move(description)),
      m_wanted(wanted),
      m_format(format),
      m_profile(std::move(profile)),
      m_profileName(std::move(profileName)),
      m_spreads(std::move(spreads)),
      m_commands(std::move(commands)),
      m_content(format ? DocEngine::MakeContent(format, m_spreads) : DocEngine::Content()) {}

DocEngine::Content& DocumentSnapshot::GetContent() {
    std::call_once(m_drawn, [this] {
        DocEngine::DrawCommands(m_commands.begin(), m_commands.end(), m_content);
        m_isDrawn = true;
    });
    return m_content;
}

void DocumentControllerArchive::StopOfflining(const Kernel::Counted<DocumentController>& document) {
    if (DocEngine::DocumentModel* model = ModelOf(document.Get())) {
        std::lock_guard<std::mutex> lock(model->Mutex());
        model->StopOfflining();
    }
}

bool DocumentControllerArchive::IsOfflining(const Kernel::Counted<DocumentController>& document) {
    DocEngine::DocumentModel* model = ModelOf(document.Get());
    if (!model) return false;
    std::lock_guard<std::mutex> lock(model->Mutex());
    return model->IsOfflining();
}

// ---- Commands -----------------------------------------------------------------------------

LoadDocumentCommand::LoadDocumentCommand(Kernel::String path, bool readOnly, int loadMode, bool asCopy,
                                         bool loadRAWLinear, Kernel::Counted<LoadDocumentOptions> options)
    : m_path(std::move(path)) {
    // The stand-in opens every document one way; raw images, copies and options do not arise.
    (void)readOnly, (void)loadMode, (void)asCopy, (void)loadRAWLinear, (void)options;
}

std::string LoadDocumentCommand::Describe() const { return "LoadDocumentCommand \"" + m_path.ToStd() + "\""; }

void LoadDocumentCommand::Execute() {
    m_documentController.Reset();
    m_error = Kernel::String();
    auto fail = [this](int line, const std::string& why) {
        const Kernel::String shownPath(Kernel::EscapeForMessage(m_path.View())), shownWhy(Kernel::EscapeForMessage(why));
        m_error = line > 0 ? Kernel::Format("Document '%1', line %2: %3", {shownPath, Kernel::ToStringT(line), shownWhy})
                           : Kernel::Format("Document '%1': %2", {shownPath, shownWhy});
        Kernel::Trace((m_error.ToStd() + "\n").c_str());
    };

    std::string text;
    Kernel::FileSystem::ReadError readError;
    constexpr uint64_t kDocumentFileLimit = 64 * Kernel::kMebibyte;  // text a person writes: far below this
    if (!Kernel::FileSystem::ReadFile(m_path, text, kDocumentFileLimit, &readError))
        return fail(0, readError.missing ? "the file can't be read" : "the file can't be read: " + readError.reason);
    const std::string path = m_path.ToStd();
    const size_t slash = path.rfind('/');
    // The document's folder as an absolute path: a profile named relative to it is then held
    // by its absolute path, and a copy saved anywhere else reloads with the same profile.
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (folder.front() != '/') {
        const Kernel::Path current = Kernel::FileSystem::GetCurrentDirectory();
        folder = folder == "." ? current.ToStd() : Kernel::PathTraitsUnix::Append(current, folder).ToStd();
    }

    DocEngine::DocumentSpec spec;
    DocEngine::ParseError error;
    if (!DocEngine::ParseDocument(text, folder, spec, error)) return fail(error.line, error.message);
    Kernel::Counted<Raster::ICCProfile> profile;
    std::string why;
    if (!ProfileForDocument(spec, profile, why)) return fail(spec.profileLine, why);

    auto document = Kernel::MakeCounted<DocumentController>(slash == std::string::npos ? path : path.substr(slash + 1));
    document->SetModel(std::unique_ptr<DocEngine::DocumentModel, DocEngine::DocumentModelDeleter>(
        new DocEngine::DocumentModel(spec, std::move(profile), path)));
    PersonaController* persona = PersonaController::GetInstance();
    persona->AddDocumentController(document);
    if (m_addToRecentDocuments) persona->AddRecentDocument(m_path);
    m_documentController = std::move(document);
    EngineFaults::NoteDocumentLoaded(path);
}

SaveDocumentAsCommand::SaveDocumentAsCommand(Kernel::String path, bool flatten, bool asTemplate)
    : m_path(std::move(path)) {
    (void)flatten, (void)asTemplate;  // documents of the stand-in have one layer and no templates
}

std::string SaveDocumentAsCommand::Describe() const { return "SaveDocumentAsCommand \"" + m_path.ToStd() + "\""; }

void SaveDocumentAsCommand::Execute(DocumentController& document) {
    m_succeeded = false;
    m_error = "the document is empty";
    DocEngine::DocumentModel* model = document.GetModel();
    if (model) {
        std::lock_guard<std::mutex> lock(model->Mutex());
        m_error.clear();
        m_succeeded = EngineFaults::SaveFile(m_path.ToStd(), DocEngine::WriteDocument(model->ToSpec()), m_error);
        if (m_succeeded && m_becomesDocumentPath) model->SetPath(m_path.ToStd());
    }
    if (!m_succeeded)
        Kernel::Trace(("Document '" + Kernel::EscapeForMessage(m_path.View()) + "' could not be saved: " +
                       Kernel::EscapeForMessage(m_error) + "\n")
                          .c_str());
}

void SetHistoryIndexCommand::Execute(DocumentController& document) {
    if (DocEngine::DocumentModel* model = document.GetModel()) {
        std::lock_guard<std::mutex> lock(model->Mutex());
        model->SetHistoryIndex(m_index);
    }
}

std::string SetHistoryIndexCommand::Describe() const { return "SetHistoryIndexCommand " + std::to_string(m_index); }

void ReplayMacroCommand::Execute(DocumentController& document) {
    DocEngine::DocumentModel* model = document.GetModel();
    if (!model) return;
    std::lock_guard<std::mutex> lock(model->Mutex());
    const Kernel::Counted<Macro>& macro = m_macro ? m_macro : model->GetMacro();
    const DocEngine::CommandList commands = macro->GetCommands();  // a copy: the history may hold the same
    EngineFaults::Step("macro");
    model->AppendCommands(commands);
}

std::string ReplayMacroCommand::Describe() const {
    return std::string("ReplayMacroCommand ") + (m_macro ? "macro" : "document macro") + " " +
           std::to_string(m_scaleMode) + " " + std::to_string(m_alignMode);
}

void DeduplicateTilestoreCommand::Execute(DocumentController& document) {
    if (DocEngine::DocumentModel* model = document.GetModel()) {
        std::lock_guard<std::mutex> lock(model->Mutex());
        m_released = model->Deduplicate();
    }
}

// ---- Command coverage ---------------------------------------------------------------------

namespace {
std::mutex& SessionsMutex() {
    static std::mutex m;
    return m;
}
std::vector<CommandCoverage::Session*>& Sessions() {
    static auto* sessions = new std::vector<CommandCoverage::Session*>;
    return *sessions;
}
}  // namespace

CommandCoverage::CommandCoverage() {
    using Kind = DocEngine::DrawCommand::Kind;
    for (Kind kind : {Kind::Fill, Kind::Gradient, Kind::Noise})
        m_registry.emplace(DocEngine::DrawCommand::Identifier(kind), DocEngine::DrawCommand::Name(kind));
}

CommandCoverage& CommandCoverage::Instance() {
    static CommandCoverage* instance = new CommandCoverage;
    return *instance;
}

Kernel::String CommandCoverage::_FindCommandName(const Kernel::String& identifier) const {
    auto it = m_registry.find(identifier);
    return it == m_registry.end() ? Kernel::String() : it->second;
}

void CommandCoverage::RecordExecutedCommand(const Kernel::String& identifier) {
    std::lock_guard<std::mutex> lock(SessionsMutex());
    for (Session* session : Sessions()) {
        std::lock_guard<std::mutex> sessionLock(session->m_mutex);
        ++session->m_recorded[identifier];
    }
}

CommandCoverage::Session::Session() {
    std::lock_guard<std::mutex> lock(SessionsMutex());
    Sessions().push_back(this);
}

CommandCoverage::Session::~Session() {
    std::lock_guard<std::mutex> lock(SessionsMutex());
    auto& sessions = Sessions();
    sessions.erase(std::remove(sessions.begin(), sessions.end(), this), sessions.end());
}

std::map<Kernel::String, uint32_t> CommandCoverage::Session::GetRecordedCommands() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recorded;
}
