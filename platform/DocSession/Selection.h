// Document selections: ordered items, each naming its selectable object (which may be absent).
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "Kernel/Counted.h"
#include "Kernel/CriticalSection.h"
#include "TextFlow/Story.h"
#include "Tools.h"

class SelectionItem : public Kernel::Countable {
public:
    explicit SelectionItem(Kernel::Counted<Selectable> object) : m_object(std::move(object)) {}
    // An item of text: the ranges selected in a story.
    SelectionItem(Kernel::Counted<Story::StoryText> story, std::vector<Story::RangeRecord> ranges)
        : m_story(std::move(story)), m_storyRanges(std::move(ranges)) {}
    Selectable* GetSelectable() const { return m_object.Get(); }
    // The item's text selection; no range for an item that is not text. The flag is the engine's.
    Story::Selection MakeStorySelection(bool) const { return Story::Selection(m_story, m_storyRanges); }

private:
    Kernel::Counted<Selectable> m_object;
    Kernel::Counted<Story::StoryText> m_story;
    std::vector<Story::RangeRecord> m_storyRanges;
};

class Selection : public Kernel::Countable {
public:
    Selection() = default;
    Selection(const Selection& other) : Kernel::Countable(), m_items(other.m_items) {}

    const std::vector<Kernel::Counted<SelectionItem>>& GetItems() const {
        m_itemReads.fetch_add(1, std::memory_order_relaxed);
        return m_items;
    }
    size_t GetCount() const { return m_items.size(); }

    // The selected nodes, kept with the selection by whoever builds them from its items; guarded by
    // m_nodeCacheLock.
    mutable std::vector<Kernel::Counted<Node>> m_nodeCache;
    mutable Kernel::CriticalSection m_nodeCacheLock;
    // The first item found to hold a node, and whether the items were scanned for it; written by
    // whoever asks, without a lock.
    mutable Kernel::Counted<SelectionItem> m_firstNodeItem;
    mutable bool m_firstNodeScanned = false;

    // Stand-in: how often the items were asked for, so tests can see a scan that did not happen.
    unsigned ItemReads() const { return m_itemReads.load(std::memory_order_relaxed); }

protected:
    std::vector<Kernel::Counted<SelectionItem>> m_items;

private:
    mutable std::atomic<unsigned> m_itemReads{0};
};

class MutableSelection : public Selection {
public:
    // Appends the object as a new item; an empty handle makes an item without an object.
    void AddSelectable(Kernel::Counted<Selectable> object, bool /*extend*/) {
        m_items.push_back(Kernel::MakeCounted<SelectionItem>(std::move(object)));
    }
    // Appends a text item: the given ranges of the story.
    void AddStoryRanges(Kernel::Counted<Story::StoryText> story, std::vector<Story::RangeRecord> ranges) {
        m_items.push_back(Kernel::MakeCounted<SelectionItem>(std::move(story), std::move(ranges)));
    }
    Kernel::Counted<Selection const> CloneImmutable() const {
        return Kernel::Counted<Selection const>(new Selection(*this));
    }
};
