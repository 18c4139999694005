// A set of nine flags held as bits 0 to 8 of one word.
#pragma once
#include <cstdint>

class FlagSet {
public:
    FlagSet() = default;
    explicit FlagSet(uint64_t word) : m_word(word & kMask) {}

    // Sets each index in order and returns the set. An index of 9 or more is reported as an
    // assertion and sets nothing; a negative index throws std::out_of_range. Flags set by
    // earlier indices stay set either way.
    FlagSet& setOn(const int32_t& a, const int32_t& b, const int32_t& c);
    FlagSet& setOn(const int32_t& a, const int32_t& b, const int32_t& c, const int32_t& d, const int32_t& e,
                   const int32_t& f);

    uint64_t word() const { return m_word; }
    bool test(int32_t index) const { return index >= 0 && index < kFlags && ((m_word >> index) & 1u); }

    static constexpr int32_t kFlags = 9;

private:
    void SetOne(int32_t index);
    static constexpr uint64_t kMask = (uint64_t{1} << kFlags) - 1;
    uint64_t m_word = 0;
};
