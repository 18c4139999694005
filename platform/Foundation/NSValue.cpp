#include "NSValue.h"

#include <string>

QV_IMPLEMENT(NSNumber, NSObject) {}

BOOL NSNumber::isEqual(const NSObject* other) const {
    auto* n = ObjectCast<NSNumber>(const_cast<NSObject*>(other));
    if (!n) return NO;
    if (m_kind == Kind::Double || n->m_kind == Kind::Double) return m_d == n->m_d;
    return m_i == n->m_i;
}

std::string NSNumber::description() const {
    switch (m_kind) {
    case Kind::Double: {
        std::string s = std::to_string(m_d);
        return s;
    }
    case Kind::Unsigned: return std::to_string(m_u);
    default: return std::to_string(m_i);
    }
}
