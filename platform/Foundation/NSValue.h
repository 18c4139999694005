#pragma once
#include "ObjectRuntime.h"

class NSNumber : public NSObject {
    QV_OBJECT(NSNumber)
public:
    enum class Kind { Bool, Signed, Unsigned, Double };
    NSNumber() = default;
    NSNumber(Kind k, long long i, unsigned long long u, double d) : m_kind(k), m_i(i), m_u(u), m_d(d) {}

    static Ref<NSNumber> numberWithBool(BOOL v) { return New<NSNumber>(Kind::Bool, v, v, v); }
    static Ref<NSNumber> numberWithInt(int v) { return numberWithLongLong(v); }
    static Ref<NSNumber> numberWithInteger(NSInteger v) { return numberWithLongLong(v); }
    static Ref<NSNumber> numberWithLongLong(long long v) {
        return New<NSNumber>(Kind::Signed, v, static_cast<unsigned long long>(v), static_cast<double>(v));
    }
    static Ref<NSNumber> numberWithUnsignedInt(unsigned v) { return numberWithUnsignedLongLong(v); }
    static Ref<NSNumber> numberWithUnsignedLongLong(unsigned long long v) {
        return New<NSNumber>(Kind::Unsigned, static_cast<long long>(v), v, static_cast<double>(v));
    }
    // Its whole-number values are the nearest ones (the bounds for values beyond them, 0 for NaN).
    static Ref<NSNumber> numberWithDouble(double v) {
        return New<NSNumber>(Kind::Double, ClampedNumber<long long>(v), ClampedNumber<unsigned long long>(v), v);
    }

    Kind kind() const { return m_kind; }
    BOOL boolValue() const { return m_kind == Kind::Double ? m_d != 0 : m_i != 0; }
    int intValue() const { return static_cast<int>(m_i); }
    NSInteger integerValue() const { return static_cast<NSInteger>(m_i); }
    unsigned unsignedIntValue() const { return static_cast<unsigned>(m_u); }
    long long longLongValue() const { return m_i; }
    unsigned long long unsignedLongLongValue() const { return m_u; }
    double doubleValue() const { return m_d; }

    BOOL isEqual(const NSObject* other) const override;
    NSUInteger hash() const override { return static_cast<NSUInteger>(m_i); }
    std::string description() const override;

private:
    Kind m_kind = Kind::Signed;
    long long m_i = 0;
    unsigned long long m_u = 0;
    double m_d = 0;
};
