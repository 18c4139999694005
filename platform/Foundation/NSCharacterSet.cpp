#include "Foundation/NSCharacterSet.h"

QV_IMPLEMENT(NSCharacterSet, NSObject) {}

NSCharacterSet* NSCharacterSet::whitespaceAndNewlineCharacterSet() {
    static NSCharacterSet* set = [] {
        auto* s = new NSCharacterSet;  // lives for the process
        s->m_member = [](unsigned short c) {
            return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
                   (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
                   c == 0x3000;
        };
        return s;
    }();
    return set;
}
