// Notifications by name, delivered to observers that asked for them.
#pragma once
#include <string>
#include <vector>

#include "NSString.h"

class NSNotification : public NSObject {
    QV_OBJECT(NSNotification)
public:
    NSNotification() = default;
    NSNotification(std::string name, NSObject* object) : m_name(std::move(name)), m_object(object) {}
    static Ref<NSNotification> notificationWithName(std::string_view name, NSObject* object) {
        return New<NSNotification>(std::string(name), object);
    }
    const std::string& name() const { return m_name; }
    NSObject* object() const { return m_object.get(); }

private:
    std::string m_name;
    id m_object;
};

// Observers are not kept alive by the centre (as in AppKit); an observer removes itself before
// it goes. Delivery is synchronous, in the order observers were added.
class NSNotificationCenter : public NSObject {
    QV_OBJECT(NSNotificationCenter)
public:
    static NSNotificationCenter* defaultCenter();

    // An empty name observes every name; a nil object observes every sender.
    void addObserver(NSObject* observer, SEL selector, std::string_view name, NSObject* object);
    // Removes the observer's entries for the name (empty: every name) and object (nil: every object).
    void removeObserver(NSObject* observer, std::string_view name = {}, NSObject* object = nullptr);
    void postNotification(NSNotification* notification);
    // The framework's delivery on the main thread; every caller here runs on it, so this posts now.
    void postNotificationOnMainThread(NSNotification* notification);

    // Stand-in state: how many entries the observer has (tests).
    size_t observationCount(const NSObject* observer) const;
    void removeAllObserversForTesting() { m_observers.clear(); }

private:
    struct Observation {
        NSObject* observer;  // not owned
        SEL selector;
        std::string name;
        NSObject* object;  // not owned; compared by identity
    };
    std::vector<Observation> m_observers;
};
