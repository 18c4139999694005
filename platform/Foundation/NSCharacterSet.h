// Character sets, as far as the application asks them: membership of UTF-16 units.
#pragma once
#include <functional>

#include "ObjectRuntime.h"

class NSCharacterSet : public NSObject {
    QV_OBJECT(NSCharacterSet)
public:
    // Unicode's space separators, the tab and line-break controls, and U+0085.
    static NSCharacterSet* whitespaceAndNewlineCharacterSet();
    BOOL characterIsMember(unsigned short unit) const { return m_member && m_member(unit); }

private:
    std::function<bool(unsigned short)> m_member;
};
