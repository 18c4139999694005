// User defaults, kept as a small text file under $HOME so that they survive between runs.
#pragma once
#include <functional>
#include <map>
#include <mutex>

#include "Collections.h"
#include "NSValue.h"

class NSUserDefaults : public NSObject {
    QV_OBJECT(NSUserDefaults)
public:
    static NSUserDefaults* standardUserDefaults();
    // Forgets the loaded values and reads the file again (for a changed HOME in tests).
    static void resetStandardUserDefaults();
    // The file the defaults live in: $HOME/.quirevale/defaults (or the working folder without HOME).
    static std::string storagePath();
    // Called after every write with the key, the value's type ('i', 'b', 'd' or 's') and its text;
    // lets a host trace preference writes. Answers the previous observer.
    using WriteObserver = std::function<void(const std::string& key, char type, const std::string& text)>;
    static WriteObserver setWriteObserver(WriteObserver observer);

    void setInteger(NSInteger value, const std::string& key);
    void setBool(BOOL value, const std::string& key);
    void setDouble(double value, const std::string& key);
    void setString(const std::string& value, const std::string& key);
    void setObject(NSObject* value, const std::string& key);  // strings and numbers; nil removes
    void removeObjectForKey(const std::string& key);

    NSInteger integerForKey(const std::string& key) const;
    BOOL boolForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    Ref<NSString> stringForKey(const std::string& key) const;
    id objectForKey(const std::string& key) const;
    BOOL synchronize();

private:
    struct Value {
        char type;  // 'i', 'b', 'd' or 's'
        std::string text;
    };
    void Load();
    void Store(const std::string& key, Value v);
    bool Save() const;
    mutable std::mutex m_mutex;
    std::map<std::string, Value> m_values;
};
