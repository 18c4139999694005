#include "Collections.h"

QV_IMPLEMENT(NSArray, NSObject) {}
QV_IMPLEMENT(NSMutableArray, NSArray) {}
QV_IMPLEMENT(NSDictionary, NSObject) {}
QV_IMPLEMENT(NSMutableDictionary, NSDictionary) {}

Ref<NSArray> NSArray::arrayWithObjects(NSObject* const* objects, NSUInteger count) {
    std::vector<id> items;
    items.reserve(count);
    for (NSUInteger i = 0; i < count; ++i) items.emplace_back(objects[i]);
    return New<NSArray>(std::move(items));
}

NSInteger NSArray::indexOfObject(const NSObject* o) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == o || (m_items[i] && m_items[i]->isEqual(o))) return static_cast<NSInteger>(i);
    return NSNotFound;
}

BOOL NSArray::isEqual(const NSObject* other) const {
    auto* a = ObjectCast<NSArray>(const_cast<NSObject*>(other));
    if (!a || a->m_items.size() != m_items.size()) return NO;
    for (size_t i = 0; i < m_items.size(); ++i)
        if (!m_items[i]->isEqual(a->m_items[i].get())) return NO;
    return YES;
}

void NSMutableArray::insertObject(NSObject* o, NSUInteger index) {
    if (index > m_items.size()) index = m_items.size();
    m_items.insert(m_items.begin() + static_cast<long>(index), id(o));
}

void NSMutableArray::removeObjectAtIndex(NSUInteger index) {
    if (index < m_items.size()) m_items.erase(m_items.begin() + static_cast<long>(index));
}

void NSMutableArray::removeObject(const NSObject* o) {
    for (size_t i = m_items.size(); i-- > 0;)
        if (m_items[i].get() == o || m_items[i]->isEqual(o)) m_items.erase(m_items.begin() + static_cast<long>(i));
}

void NSMutableArray::replaceObjectAtIndex(NSUInteger index, NSObject* o) {
    if (index < m_items.size()) m_items[index] = id(o);
}

Ref<NSDictionary> NSDictionary::dictionaryWithObjects(NSObject* const* objects, NSObject* const* keys,
                                                      NSUInteger count) {
    auto d = New<NSDictionary>();
    for (NSUInteger i = 0; i < count; ++i) d->Set(keys[i], objects[i]);
    return d;
}

NSObject* NSDictionary::objectForKey(const NSObject* key) const {
    if (!key) return nullptr;
    auto range = m_index.equal_range(key->hash());
    for (auto it = range.first; it != range.second; ++it)
        if (m_entries[it->second].key->isEqual(key)) return m_entries[it->second].value.get();
    return nullptr;
}

Ref<NSArray> NSDictionary::allKeys() const {
    std::vector<id> v;
    for (auto& e : m_entries) v.push_back(e.key);
    return NSArray::arrayWithVector(std::move(v));
}

Ref<NSArray> NSDictionary::allValues() const {
    std::vector<id> v;
    for (auto& e : m_entries) v.push_back(e.value);
    return NSArray::arrayWithVector(std::move(v));
}

void NSDictionary::Set(NSObject* key, NSObject* value) {
    if (!key) return;
    auto range = m_index.equal_range(key->hash());
    for (auto it = range.first; it != range.second; ++it)
        if (m_entries[it->second].key->isEqual(key)) {
            m_entries[it->second].value = id(value);
            return;
        }
    m_index.emplace(key->hash(), m_entries.size());
    m_entries.push_back({id(key), id(value)});
}

void NSDictionary::Remove(const NSObject* key) {
    if (!key) return;
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].key->isEqual(key)) {
            m_entries.erase(m_entries.begin() + static_cast<long>(i));
            m_index.clear();
            for (size_t k = 0; k < m_entries.size(); ++k) m_index.emplace(m_entries[k].key->hash(), k);
            return;
        }
}
