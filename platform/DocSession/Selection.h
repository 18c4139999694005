// Document selections: ordered items, each naming its selectable object (which may be absent).
#pragma once
#include <string>
#include <vector>

#include "Kernel/Counted.h"
#include "Kernel/CriticalSection.h"
#include "Tools.h"

class SelectionItem : public Kernel::Countable {
public:
    explicit SelectionItem(Kernel::Counted<Selectable> object) : m_object(std::move(object)) {}
    Selectable* GetSelectable() const { return m_object.Get(); }

private:
    Kernel::Counted<Selectable> m_object;
};

class Selection : public Kernel::Countable {
public:
    Selection() = default;
    Selection(const Selection& other) : Kernel::Countable(), m_items(other.m_items) {}

    const std::vector<Kernel::Counted<SelectionItem>>& GetItems() const { return m_items; }
    size_t GetCount() const { return m_items.size(); }

    // The selected nodes, kept with the selection by whoever builds them from its items; guarded by
    // m_nodeCacheLock.
    mutable std::vector<Kernel::Counted<Node>> m_nodeCache;
    mutable Kernel::CriticalSection m_nodeCacheLock;

protected:
    std::vector<Kernel::Counted<SelectionItem>> m_items;
};

class MutableSelection : public Selection {
public:
    // Appends the object as a new item; an empty handle makes an item without an object.
    void AddSelectable(Kernel::Counted<Selectable> object, bool /*extend*/) {
        m_items.push_back(Kernel::MakeCounted<SelectionItem>(std::move(object)));
    }
    Kernel::Counted<Selection const> CloneImmutable() const {
        return Kernel::Counted<Selection const>(new Selection(*this));
    }
};
