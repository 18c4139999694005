// Key and value metadata as engine objects expose it: several text values per key, in the
// order they were added.
#pragma once
#include <vector>

#include "String.h"

namespace Kernel {

class MetadataInterface {
public:
    virtual ~MetadataInterface() = default;

    // Every value stored under the key, oldest first; empty when there is none.
    virtual std::vector<StringT<TEncUtf8>> GetMetadataValuesForKey(const StringT<TEncUtf8>& key) const = 0;
    virtual void RemoveMetadataValuesForKey(const StringT<TEncUtf8>& key) = 0;
    virtual void AddMetadataValueForKey(const StringT<TEncUtf8>& key, const StringT<TEncUtf8>& value) = 0;
};

}  // namespace Kernel
