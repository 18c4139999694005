// The engine's product-specific behaviour switches.
#pragma once

namespace Kernel {

class Hacks {
public:
    static Hacks* GetInstance();
    void SetQuirevaleHack(bool on);
    bool GetQuirevaleHack() const { return m_quirevale; }
    void ResetForTesting() { m_quirevale = false; }

private:
    bool m_quirevale = false;
};

}  // namespace Kernel
