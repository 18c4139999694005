#pragma once
#include <unordered_map>
#include <vector>

#include "NSString.h"

class NSArray : public NSObject {
    QV_OBJECT(NSArray)
public:
    NSArray() = default;
    explicit NSArray(std::vector<id> items) : m_items(std::move(items)) {}

    static Ref<NSArray> array() { return New<NSArray>(); }
    static Ref<NSArray> arrayWithObjects(NSObject* const* objects, NSUInteger count);
    static Ref<NSArray> arrayWithVector(std::vector<id> items) { return New<NSArray>(std::move(items)); }

    NSUInteger count() const { return m_items.size(); }
    // nil past the end (callers test it), never memory outside the array.
    NSObject* objectAtIndex(NSUInteger i) const { return i < m_items.size() ? m_items[i].get() : nullptr; }
    NSObject* firstObject() const { return m_items.empty() ? nullptr : m_items.front().get(); }
    NSObject* lastObject() const { return m_items.empty() ? nullptr : m_items.back().get(); }
    NSInteger indexOfObject(const NSObject* o) const;
    BOOL containsObject(const NSObject* o) const { return indexOfObject(o) != NSNotFound; }
    const std::vector<id>& items() const { return m_items; }

    BOOL isEqual(const NSObject* other) const override;

protected:
    std::vector<id> m_items;
};

class NSMutableArray : public NSArray {
    QV_OBJECT(NSMutableArray)
public:
    using NSArray::NSArray;
    static Ref<NSMutableArray> array() { return New<NSMutableArray>(); }
    void addObject(NSObject* o) { m_items.emplace_back(o); }
    void insertObject(NSObject* o, NSUInteger index);
    void removeObjectAtIndex(NSUInteger index);
    void removeObject(const NSObject* o);
    void removeAllObjects() { m_items.clear(); }
    void replaceObjectAtIndex(NSUInteger index, NSObject* o);
};

class NSDictionary : public NSObject {
    QV_OBJECT(NSDictionary)
public:
    static Ref<NSDictionary> dictionary() { return New<NSDictionary>(); }
    static Ref<NSDictionary> dictionaryWithObjects(NSObject* const* objects, NSObject* const* keys, NSUInteger count);

    NSUInteger count() const { return m_entries.size(); }
    NSObject* objectForKey(const NSObject* key) const;
    // Keys and values in insertion order.
    Ref<NSArray> allKeys() const;
    Ref<NSArray> allValues() const;

protected:
    void Set(NSObject* key, NSObject* value);
    void Remove(const NSObject* key);
    struct Entry {
        id key;
        id value;
    };
    std::vector<Entry> m_entries;
    std::unordered_multimap<NSUInteger, size_t> m_index;  // key hash to entry position
};

class NSMutableDictionary : public NSDictionary {
    QV_OBJECT(NSMutableDictionary)
public:
    static Ref<NSMutableDictionary> dictionary() { return New<NSMutableDictionary>(); }
    void setObject(NSObject* value, NSObject* key) {
        if (!value) Remove(key);
        else Set(key, value);
    }
    void removeObjectForKey(const NSObject* key) { Remove(key); }
    void removeAllObjects() {
        m_entries.clear();
        m_index.clear();
    }
};
