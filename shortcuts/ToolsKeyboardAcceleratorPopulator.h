// A persona's keyboard shortcuts: the registry the framework asks for keys.
#pragma once
#include "Foundation/Foundation.h"
#include "UIFramework/Protocols.h"

class ToolsKeyboardAcceleratorPopulator : public NSObject, public ToolsKeyboardAcceleratorDelegate {
    QV_OBJECT(ToolsKeyboardAcceleratorPopulator)
public:
    // Starts empty, then sends initialise, which each persona overrides to register its defaults.
    NSObject* init() override;
    virtual void initialise() {}

    NSMutableArray* shortcuts() const { return m_vShortcuts.get(); }
    NSMutableDictionary* lastCycledDictionary() const { return m_vLastCycledDictionary.get(); }

protected:
    Ref<NSMutableArray> m_vShortcuts;
    Ref<NSMutableDictionary> m_vLastCycledDictionary;
};
