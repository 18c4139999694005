// A menu item that holds one document node, so that choosing it can act on that node.
#pragma once
#include "AppKit/NSMenu.h"
#include "DocSession/Tools.h"
#include "Kernel/Counted.h"

class NodeMenuItem : public NSMenuItem {
    QV_OBJECT(NodeMenuItem)
public:
    // A new handle to the node (one count for the caller's handle).
    Kernel::JailCounted<Node> node() const { return m_node; }
    // The new node's count is taken before the old one is given back, so setting the same node is safe.
    void setNode(Kernel::JailCounted<Node> node) { m_node = std::move(node); }

    Ref<NSMenuItem> copy() const override;

private:
    Kernel::JailCounted<Node> m_node;
};
