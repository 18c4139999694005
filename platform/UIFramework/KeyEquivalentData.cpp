#include "UIFramework/KeyEquivalentData.h"

QV_IMPLEMENT(KeyEquivalentData, NSObject) {
    c.method("hasValidKey", &KeyEquivalentData::hasValidKey);
    c.method("isEqualToKey:", &KeyEquivalentData::isEqualToKey);
}

BOOL KeyEquivalentData::isEqualToKey(const KeyEquivalentData* other) const {
    if (!other || !hasValidKey() || !other->hasValidKey()) return NO;
    return m_key->isEqualToString(other->m_key.get()) && m_modifierMask == other->m_modifierMask;
}

std::string KeyEquivalentData::description() const {
    std::string d = "<KeyEquivalentData \"" + (m_key ? m_key->utf8() : std::string()) + "\" mask " +
                    std::to_string(m_modifierMask);
    if (m_associatedToolID != static_cast<NSUInteger>(NSNotFound)) d += " tool " + std::to_string(m_associatedToolID);
    else d += std::string(" action ") + sel_getName(m_action);
    return d + ">";
}
