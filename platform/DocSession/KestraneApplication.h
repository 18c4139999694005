// The engine-side application object with its personas.
#pragma once
#include <cstdint>
#include <functional>
#include <map>

#include "Kernel/Counted.h"

namespace Kestrane {

// A persona of the engine. The stand-in answers of its two checks are settable.
class Persona : public Kernel::Countable {
public:
    explicit Persona(uint32_t id) : m_id(id) {}
    virtual bool CanBeEntered();
    virtual bool CanBeLeft();
    uint32_t GetId() const { return m_id; }

    bool m_answerCanBeEntered = true;
    bool m_answerCanBeLeft = true;
    bool m_isUserPersona = true;

private:
    uint32_t m_id;
};

namespace TechnicalPersona {
extern uint32_t Id;  // 'tech'
}

class Application {
public:
    static Application* Current();

    // Null when the engine has no persona of that code.
    Kernel::Counted<Persona> GetPersonaFromId(uint32_t id);
    Kernel::Counted<Persona> GetCurrentPersona();
    void SetCurrentPersona(Kernel::Counted<Persona> persona, bool notify);
    bool IsUserPersona(const Persona& persona);
    int GetProduct() const { return m_product; }

    // Stand-in controls: not recorded in the call log.
    void SetProduct(int product) { m_product = product; }
    Persona* FindPersona(uint32_t id) const;  // null when absent
    void RemovePersona(uint32_t id);
    void AddPersona(uint32_t id);
    // The framework keeps the engine's current persona in step with its workspace.
    void SetCurrentPersonaQuietly(uint32_t id);
    // Told of every SetCurrentPersona, so the framework can follow the engine.
    void SetPersonaChangeHandler(std::function<void(uint32_t)> handler) { m_onChange = std::move(handler); }
    // The engine's nine personas, 'layo' current, product 0.
    void ResetForTesting();

private:
    Application();
    std::map<uint32_t, Kernel::Counted<Persona>> m_personas;
    Kernel::Counted<Persona> m_current;
    int m_product = 0;
    std::function<void(uint32_t)> m_onChange;
};

}  // namespace Kestrane

// Four-character codes, first character in the most significant byte.
constexpr uint32_t FourCharCode(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}
