// The document engine's process-wide persona controller: product switches and the command queue.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "CallLog.h"
#include "DocumentCommand.h"
#include "DocumentController.h"
#include "Kernel/Counted.h"
#include "Kernel/EngineServices.h"
#include "Kernel/String.h"

class MigrationPlatformData;
namespace DocEngine {
struct PersonaState;
}

namespace DocSessionDetail {
template <size_t N>
struct SwitchName {
    char text[N];
    constexpr SwitchName(const char (&s)[N]) {
        for (size_t i = 0; i < N; ++i) text[i] = s[i];
    }
};
}  // namespace DocSessionDetail

// A one-byte product switch; every write is recorded in the call log.
template <DocSessionDetail::SwitchName Name>
class PersonaSwitch {
public:
    PersonaSwitch& operator=(bool value) {
        m_value = value;
        CallLog::Record(std::string("PersonaController::") + Name.text + " = " + (value ? "true" : "false"));
        return *this;
    }
    operator bool() const { return m_value; }
    // Stand-in reset, not recorded.
    void Reset(bool value = false) { m_value = value; }

private:
    bool m_value = false;
};

class PersonaController {
public:
    enum class ViewModel : int { Default = 0, Shared = 1, Separate = 2 };

    static PersonaController* GetInstance();

    void SetShouldGenerateHistograms(bool value);
    void SetHistorySnapshotsSupported(bool value);
    void SetDefaultViewModel(ViewModel model);
    void SetSupportsAutoUpdateLinkedResources(bool value);
    void SetSupportsResourceManager(bool value);
    void SetShowWordCount(bool value);

    // Queues the command for the document and returns without waiting; an empty document is passed on.
    void EnqueueCommand(Kernel::Counted<DocumentCommand> command, Kernel::Counted<DocumentController const> document,
                        bool wait);

    PersonaSwitch<"m_preferPixelSelections"> m_preferPixelSelections;
    PersonaSwitch<"m_canCreatePathText"> m_canCreatePathText;
    PersonaSwitch<"m_canCreateTextColumns"> m_canCreateTextColumns;
    PersonaSwitch<"m_allowTableText"> m_allowTableText;
    PersonaSwitch<"m_allowAdvancedTextFeatures"> m_allowAdvancedTextFeatures;
    PersonaSwitch<"m_fixedOnSwitch1"> m_fixedOnSwitch1;
    PersonaSwitch<"m_supportsCapsLockToolCursors"> m_supportsCapsLockToolCursors;

private:
    bool m_shouldGenerateHistograms = false;

public:
    PersonaSwitch<"m_fixedOnSwitch2"> m_fixedOnSwitch2;
    PersonaSwitch<"m_fixedOnSwitch3"> m_fixedOnSwitch3;
    PersonaSwitch<"m_allowTextRuler"> m_allowTextRuler;
    PersonaSwitch<"m_allowTextFramePanel"> m_allowTextFramePanel;
    PersonaSwitch<"m_allowPictureFrames"> m_allowPictureFrames;
    PersonaSwitch<"m_prefersCollectedDuplicateNodes"> m_prefersCollectedDuplicateNodes;

private:
    bool m_historySnapshotsSupported = false;
    ViewModel m_defaultViewModel = ViewModel::Default;
    bool m_supportsAutoUpdateLinkedResources = false;
    bool m_supportsResourceManager = false;
    bool m_showWordCount = false;
    std::vector<Kernel::Counted<DocumentCommand>> m_queue;
    std::vector<Kernel::Counted<DocumentController const>> m_queueDocuments;

public:
    PersonaSwitch<"m_fixedOnSwitch4"> m_fixedOnSwitch4;
    // Whether preflight is offered; set by the engine, never by the application.
    PersonaSwitch<"m_preflightEnabled"> m_preflightEnabled;

    // Stand-in state for tests.
    bool GetShouldGenerateHistograms() const { return m_shouldGenerateHistograms; }
    bool GetHistorySnapshotsSupported() const { return m_historySnapshotsSupported; }
    ViewModel GetDefaultViewModel() const { return m_defaultViewModel; }
    bool GetShowWordCount() const { return m_showWordCount; }
    // The commands queued so far, oldest first, with their documents.
    const std::vector<Kernel::Counted<DocumentCommand>>& QueuedCommands() const { return m_queue; }
    const std::vector<Kernel::Counted<DocumentController const>>& QueuedDocuments() const { return m_queueDocuments; }
    // Back to the state at process start; nothing recorded.
    void ResetForTesting();

    // ---- Engine start-up and the open documents, as the regression side uses them
    // (RegressionPersona.cpp). Not recorded in the call log.
    void InitPersona(const Kernel::String& name, int ramMiB, int historyMiB, const Kernel::String& scratchFolder,
                     const Kernel::String& swapFolder, const Kernel::String& autosaveFolder,
                     const Kernel::String& cacheFolder, const Kernel::String& resourcesFolder, int tileCacheMiB,
                     int cpus, double screenDPI, bool loadFonts, bool loadBrushes, bool loadPlugins, bool loadAssets,
                     bool loadStyles, bool connectServices, bool checkForUpdates, bool sendAnalytics,
                     bool showWelcome, bool hardwareRendering, Kernel::Counted<Kernel::LockFileCreator> lockFiles,
                     Kernel::Counted<MigrationPlatformData const> migration, bool headless, bool sharedFonts,
                     bool remoteFonts, bool autosave);
    bool IsPersonaInitialised() const;
    Kernel::Counted<Kernel::NotificationSink> GetNotificationSink();
    void SetPropertyCollectionManager(Kernel::Counted<Kernel::UnsharedPropertyCollectionManager> manager);
    void LoadFontsAndPropertyCollections();
    void InitialiseDefaultAssistantOptions(bool defaults);
    void SetSchedulingSink(Kernel::SchedulingSink sink);
    bool GetLoadRAWLinear() const;
    // Raw images open with a linear tone curve when set.
    void SetLoadRAWLinear(bool linear);
    // Open documents: loading adds one; removing leaves the controller holding no count on it.
    void AddDocumentController(Kernel::Counted<DocumentController> document);
    void RemoveDocumentController(const Kernel::Counted<DocumentController>& document);
    size_t GetDocumentControllerCount() const;
    void AddRecentDocument(const Kernel::String& path);
    std::vector<Kernel::String> GetRecentDocuments() const;
    // Most history entries a document keeps; below 0 there is no limit.
    void SetStackLimit(int limit);
    int GetStackLimit() const;
    // Rendering intent and black-point compensation for showing documents on screen.
    uint32_t GetScreenIntent() const;
    bool GetScreenBlackPointCompensation() const;
    // Releases every open document and forgets the start-up settings.
    void ShutdownPersona();
    // What InitPersona was given (tests).
    const DocEngine::PersonaState* GetPersonaState() const { return m_persona; }

    bool m_perfectClipping = false;

private:
    DocEngine::PersonaState* m_persona = nullptr;  // from InitPersona to ShutdownPersona
};

static_assert(sizeof(PersonaSwitch<"x">) == 1, "the engine's switches are one byte each");
