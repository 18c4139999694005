#include "PersonaController.h"

PersonaController* PersonaController::GetInstance() {
    static PersonaController* instance = new PersonaController;
    return instance;
}

void PersonaController::SetShouldGenerateHistograms(bool value) {
    CallLog::Call("PersonaController::SetShouldGenerateHistograms", value);
    m_shouldGenerateHistograms = value;
}
void PersonaController::SetHistorySnapshotsSupported(bool value) {
    CallLog::Call("PersonaController::SetHistorySnapshotsSupported", value);
    m_historySnapshotsSupported = value;
}
void PersonaController::SetDefaultViewModel(ViewModel model) {
    CallLog::Call("PersonaController::SetDefaultViewModel", static_cast<int>(model));
    m_defaultViewModel = model;
}
void PersonaController::SetSupportsAutoUpdateLinkedResources(bool value) {
    CallLog::Call("PersonaController::SetSupportsAutoUpdateLinkedResources", value);
    m_supportsAutoUpdateLinkedResources = value;
}
void PersonaController::SetSupportsResourceManager(bool value) {
    CallLog::Call("PersonaController::SetSupportsResourceManager", value);
    m_supportsResourceManager = value;
}
void PersonaController::SetShowWordCount(bool value) {
    CallLog::Call("PersonaController::SetShowWordCount", value);
    m_showWordCount = value;
}

void PersonaController::EnqueueCommand(Kernel::Counted<DocumentCommand> command,
                                       Kernel::Counted<DocumentController const> document, bool wait) {
    CallLog::Call("PersonaController::EnqueueCommand", command, document, wait);
    m_queue.push_back(std::move(command));
    m_queueDocuments.push_back(std::move(document));
}

void PersonaController::ResetForTesting() {
    m_preferPixelSelections.Reset();
    m_canCreatePathText.Reset();
    m_canCreateTextColumns.Reset();
    m_allowTableText.Reset();
    m_allowAdvancedTextFeatures.Reset();
    m_preflightEnabled.Reset();
    m_fixedOnSwitch1.Reset();
    m_supportsCapsLockToolCursors.Reset();
    m_fixedOnSwitch2.Reset();
    m_fixedOnSwitch3.Reset();
    m_allowTextRuler.Reset();
    m_allowTextFramePanel.Reset();
    m_allowPictureFrames.Reset();
    m_prefersCollectedDuplicateNodes.Reset();
    m_fixedOnSwitch4.Reset();
    m_shouldGenerateHistograms = false;
    m_historySnapshotsSupported = false;
    m_defaultViewModel = ViewModel::Default;
    m_supportsAutoUpdateLinkedResources = false;
    m_supportsResourceManager = false;
    m_showWordCount = false;
    m_queue.clear();
    m_queueDocuments.clear();
}
