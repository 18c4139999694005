#include "CallLog.h"
#include "Hacks.h"
#include "KestraneApplication.h"
#include "RasterBaseTarget.h"

namespace Kestrane {

uint32_t TechnicalPersona::Id = FourCharCode("tech");

bool Persona::CanBeEntered() {
    CallLog::Call("Kestrane::Persona::CanBeEntered", CallLog::Code{m_id});
    return m_answerCanBeEntered;
}

bool Persona::CanBeLeft() {
    CallLog::Call("Kestrane::Persona::CanBeLeft", CallLog::Code{m_id});
    return m_answerCanBeLeft;
}

Application::Application() { ResetForTesting(); }

Application* Application::Current() {
    static Application* app = new Application;
    return app;
}

Kernel::Counted<Persona> Application::GetPersonaFromId(uint32_t id) {
    CallLog::Call("Kestrane::Application::GetPersonaFromId", CallLog::Code{id});
    auto it = m_personas.find(id);
    return it == m_personas.end() ? Kernel::Counted<Persona>() : it->second;
}

Kernel::Counted<Persona> Application::GetCurrentPersona() {
    CallLog::Call("Kestrane::Application::GetCurrentPersona");
    return m_current;
}

void Application::SetCurrentPersona(Kernel::Counted<Persona> persona, bool notify) {
    CallLog::Call("Kestrane::Application::SetCurrentPersona", persona, notify);
    m_current = std::move(persona);
    if (m_current && m_onChange) m_onChange(m_current->GetId());
}

bool Application::IsUserPersona(const Persona& persona) {
    CallLog::Call("Kestrane::Application::IsUserPersona", &persona);
    return persona.m_isUserPersona;
}

Persona* Application::FindPersona(uint32_t id) const {
    auto it = m_personas.find(id);
    return it == m_personas.end() ? nullptr : it->second.Get();
}

void Application::RemovePersona(uint32_t id) {
    if (m_current && m_current->GetId() == id) m_current.Reset();
    m_personas.erase(id);
}

void Application::AddPersona(uint32_t id) {
    if (!m_personas.count(id)) m_personas[id] = Kernel::MakeCounted<Persona>(id);
}

void Application::SetCurrentPersonaQuietly(uint32_t id) {
    auto it = m_personas.find(id);
    m_current = it == m_personas.end() ? Kernel::Counted<Persona>() : it->second;
}

void Application::ResetForTesting() {
    m_personas.clear();
    for (uint32_t id : {FourCharCode("layo"), FourCharCode("vect"), FourCharCode("rast"), FourCharCode("deve"),
                        FourCharCode("liqu"), FourCharCode("expo"), FourCharCode("pixe"), FourCharCode("hdr ")})
        m_personas[id] = Kernel::MakeCounted<Persona>(id);
    m_personas[TechnicalPersona::Id] = Kernel::MakeCounted<Persona>(TechnicalPersona::Id);
    m_current = m_personas[FourCharCode("layo")];
    m_product = 0;
    m_onChange = nullptr;
}

namespace {
int EntryCheck(const char* name, const std::optional<int>& answer, const Kernel::Counted<DocumentController const>& doc) {
    CallLog::Call(name, doc);
    if (answer) return *answer;
    return doc ? 1 : 0;
}
}  // namespace

RasterBaseTarget::Answers& RasterBaseTarget::StandInAnswers() {
    static Answers answers;
    return answers;
}

void RasterBaseTarget::ToggleFrequencyLayer(Kernel::Counted<Tool> tool) {
    CallLog::Call("Kestrane::RasterBaseTarget::ToggleFrequencyLayer", tool);
}

int RasterBaseTarget::CanEnterLiquify(Kernel::Counted<DocumentController const> document) {
    return EntryCheck("Kestrane::RasterBaseTarget::CanEnterLiquify", StandInAnswers().canEnterLiquify, document);
}
int RasterBaseTarget::CanEnterDevelop(Kernel::Counted<DocumentController const> document) {
    return EntryCheck("Kestrane::RasterBaseTarget::CanEnterDevelop", StandInAnswers().canEnterDevelop, document);
}
int RasterBaseTarget::CanEnterToneMap(Kernel::Counted<DocumentController const> document) {
    return EntryCheck("Kestrane::RasterBaseTarget::CanEnterToneMap", StandInAnswers().canEnterToneMap, document);
}

}  // namespace Kestrane

namespace Kernel {
Hacks* Hacks::GetInstance() {
    static Hacks* hacks = new Hacks;
    return hacks;
}
void Hacks::SetQuirevaleHack(bool on) {
    CallLog::Call("Kernel::Hacks::SetQuirevaleHack", on);
    m_quirevale = on;
}
}  // namespace Kernel

#include "DevelopTool.h"

bool DevelopTool::Commit() {
    CallLog::Call("DevelopTool::Commit", static_cast<const Tool*>(this));
    return true;
}
