#include "NSNotification.h"

#include "DocSession/CallLog.h"

QV_IMPLEMENT(NSNotification, NSObject) {}
QV_IMPLEMENT(NSNotificationCenter, NSObject) {}

NSNotificationCenter* NSNotificationCenter::defaultCenter() {
    static NSNotificationCenter* center = new NSNotificationCenter;  // lives for the process
    return center;
}

void NSNotificationCenter::addObserver(NSObject* observer, SEL selector, std::string_view name, NSObject* object) {
    if (!observer || !selector) return;
    m_observers.push_back({observer, selector, std::string(name), object});
}

void NSNotificationCenter::removeObserver(NSObject* observer, std::string_view name, NSObject* object) {
    std::erase_if(m_observers, [&](const Observation& o) {
        return o.observer == observer && (name.empty() || o.name == name) && (!object || o.object == object);
    });
}

void NSNotificationCenter::postNotification(NSNotification* notification) {
    if (!notification) return;
    Ref<NSNotification> keep(notification);
    // An observer may add or remove observers while it runs: deliver to those present at the post
    // and still registered when their turn comes.
    std::vector<Observation> targets;
    for (const auto& o : m_observers)
        if ((o.name.empty() || o.name == notification->name()) && (!o.object || o.object == notification->object()))
            targets.push_back(o);
    for (const auto& t : targets) {
        bool stillThere = false;
        for (const auto& o : m_observers)
            if (o.observer == t.observer && o.selector == t.selector && o.name == t.name && o.object == t.object)
                stillThere = true;
        if (stillThere) t.observer->performSelector(t.selector, notification);
    }
}

void NSNotificationCenter::postNotificationOnMainThread(NSNotification* notification) {
    if (notification)
        CallLog::Call("NSNotificationCenter::postNotificationOnMainThread:", std::string_view(notification->name()),
                      CallLog::Raw{notification->object() ? notification->object()->description() : "nil"});
    postNotification(notification);
}

size_t NSNotificationCenter::observationCount(const NSObject* observer) const {
    size_t n = 0;
    for (const auto& o : m_observers)
        if (o.observer == observer) ++n;
    return n;
}
