// The persona controller's engine side: start-up, the open documents and shutdown.
#include <algorithm>

#include "Kernel/AssertTrap.h"
#include "Kernel/Dispatch.h"
#include "PersonaController.h"
#include "PersonaState.h"
#include "PropertyCollections.h"
#include "Raster/ICCManager.h"

namespace {
// The state exists from the first call that needs it; ShutdownPersona ends it.
DocEngine::PersonaState& State(DocEngine::PersonaState*& state) {
    if (!state) state = new DocEngine::PersonaState;
    return *state;
}
}  // namespace

void PersonaController::InitPersona(const Kernel::String& name, int ramMiB, int historyMiB,
                                    const Kernel::String& scratchFolder, const Kernel::String& swapFolder,
                                    const Kernel::String& autosaveFolder, const Kernel::String& cacheFolder,
                                    const Kernel::String& resourcesFolder, int tileCacheMiB, int cpus,
                                    double screenDPI, bool loadFonts, bool loadBrushes, bool loadPlugins,
                                    bool loadAssets, bool loadStyles, bool connectServices, bool checkForUpdates,
                                    bool sendAnalytics, bool showWelcome, bool hardwareRendering,
                                    Kernel::Counted<Kernel::LockFileCreator> lockFiles,
                                    Kernel::Counted<MigrationPlatformData const> migration, bool headless,
                                    bool sharedFonts, bool remoteFonts, bool autosave) {
    // The stand-in keeps every tile in memory and has no fonts, plug-ins, services or autosave:
    // of the folders it keeps the first as its scratch folder, and it notes the sizes and switches.
    (void)swapFolder, (void)autosaveFolder, (void)cacheFolder, (void)loadFonts, (void)loadBrushes,
        (void)loadPlugins, (void)loadAssets, (void)loadStyles, (void)connectServices, (void)checkForUpdates,
        (void)sendAnalytics, (void)showWelcome, (void)lockFiles, (void)migration, (void)sharedFonts,
        (void)remoteFonts, (void)autosave;
    KERNEL_ASSERT(ramMiB > 0);
    KERNEL_ASSERT(cpus > 0);
    DocEngine::PersonaState& state = State(m_persona);
    state.initialised = true;
    state.name = name;
    state.ramMiB = ramMiB;
    state.historyMiB = historyMiB;
    state.scratchFolder = scratchFolder;
    state.resourcesFolder = resourcesFolder;
    state.tileCacheMiB = tileCacheMiB;
    state.cpus = cpus;
    // The processor count bounds every thread the engine works on: drawing, the kernels,
    // inflation and image writing all run through the one worker pool.
    if (cpus > 0) Kernel::Dispatch::SetParallelism(unsigned(cpus));
    state.screenDPI = screenDPI;
    state.hardwareRendering = hardwareRendering;
    state.headless = headless;
}

bool PersonaController::IsPersonaInitialised() const { return m_persona && m_persona->initialised; }

Kernel::Counted<Kernel::NotificationSink> PersonaController::GetNotificationSink() {
    return State(m_persona).notificationSink;
}

void PersonaController::SetPropertyCollectionManager(Kernel::Counted<Kernel::UnsharedPropertyCollectionManager> m) {
    State(m_persona).propertyCollectionManager = std::move(m);
}

void PersonaController::LoadFontsAndPropertyCollections() { State(m_persona).fontsAndCollectionsLoaded = true; }

void PersonaController::InitialiseDefaultAssistantOptions(bool defaults) {
    State(m_persona).defaultAssistantOptions = defaults;
}

void PersonaController::SetSchedulingSink(Kernel::SchedulingSink sink) { State(m_persona).schedulingSink = sink; }

bool PersonaController::GetLoadRAWLinear() const { return m_persona && m_persona->loadRAWLinear; }

void PersonaController::SetLoadRAWLinear(bool linear) { State(m_persona).loadRAWLinear = linear; }

void PersonaController::AddDocumentController(Kernel::Counted<DocumentController> document) {
    if (!document) return;
    DocEngine::PersonaState& state = State(m_persona);
    std::lock_guard<std::mutex> lock(state.documentsMutex);
    state.documents.push_back(std::move(document));
}

void PersonaController::RemoveDocumentController(const Kernel::Counted<DocumentController>& document) {
    if (!m_persona || !document) return;
    std::vector<Kernel::Counted<DocumentController>> removed;  // released outside the lock
    {
        std::lock_guard<std::mutex> lock(m_persona->documentsMutex);
        auto& documents = m_persona->documents;
        auto keep = std::stable_partition(documents.begin(), documents.end(),
                                          [&](const auto& d) { return d.Get() != document.Get(); });
        removed.assign(std::make_move_iterator(keep), std::make_move_iterator(documents.end()));
        documents.erase(keep, documents.end());
    }
}

size_t PersonaController::GetDocumentControllerCount() const {
    if (!m_persona) return 0;
    std::lock_guard<std::mutex> lock(m_persona->documentsMutex);
    return m_persona->documents.size();
}

void PersonaController::AddRecentDocument(const Kernel::String& path) {
    DocEngine::PersonaState& state = State(m_persona);
    std::lock_guard<std::mutex> lock(state.documentsMutex);
    state.recentDocuments.push_back(path);
}

std::vector<Kernel::String> PersonaController::GetRecentDocuments() const {
    if (!m_persona) return {};
    std::lock_guard<std::mutex> lock(m_persona->documentsMutex);
    return m_persona->recentDocuments;
}

void PersonaController::SetStackLimit(int limit) { State(m_persona).stackLimit = limit; }

int PersonaController::GetStackLimit() const { return m_persona ? m_persona->stackLimit : -1; }

uint32_t PersonaController::GetScreenIntent() const { return Raster::kIntentRelativeColorimetric; }

bool PersonaController::GetScreenBlackPointCompensation() const { return true; }

void PersonaController::ShutdownPersona() {
    DocEngine::PersonaState* state = m_persona;
    m_persona = nullptr;
    if (!state) return;
    std::vector<Kernel::Counted<DocumentController>> documents;
    {
        std::lock_guard<std::mutex> lock(state->documentsMutex);
        documents.swap(state->documents);
    }
    for (auto& document : documents) {
        try {
            document->Settle();
        } catch (...) {
            // A queued command that threw was its waiter's to report; at shutdown nobody waits.
        }
    }
    documents.clear();
    delete state;
    m_perfectClipping = false;
}

namespace CommonPropertyCollections {
namespace {
int g_activeTarget = 0;
}
void SetActiveTarget(int linkTarget) { g_activeTarget = linkTarget; }
int GetActiveTarget() { return g_activeTarget; }
}  // namespace CommonPropertyCollections
