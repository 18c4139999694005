#include "app/FlagSet.h"

#include <bitset>

#include "Kernel/AssertTrap.h"

void FlagSet::SetOne(int32_t index) {
    if (index >= kFlags) {
        Kernel::ReportAssertion("FlagSet", 253, "false", "setOn");
        return;
    }
    std::bitset<kFlags> bits(m_word);
    bits.set(static_cast<size_t>(index));  // a negative index is out of range here and throws
    m_word = bits.to_ullong();
}

FlagSet& FlagSet::setOn(const int32_t& a, const int32_t& b, const int32_t& c) {
    SetOne(a);
    SetOne(b);
    SetOne(c);
    return *this;
}

FlagSet& FlagSet::setOn(const int32_t& a, const int32_t& b, const int32_t& c, const int32_t& d, const int32_t& e,
                        const int32_t& f) {
    SetOne(a);
    SetOne(b);
    SetOne(c);
    return setOn(d, e, f);
}
