// A user-interface text value: the text, the context it is shown in, and its translation
// (empty until one is known).
#pragma once
#include "String.h"

namespace Kernel {

class LocalisedString {
public:
    LocalisedString() = default;
    explicit LocalisedString(StringT<TEncUtf8> text, StringT<TEncUtf8> context = {}, StringT<TEncUtf8> translation = {})
        : m_text(std::move(text)), m_context(std::move(context)), m_translation(std::move(translation)) {}

    const StringT<TEncUtf8>& GetText() const { return m_text; }
    const StringT<TEncUtf8>& GetContext() const { return m_context; }
    const StringT<TEncUtf8>& GetTranslation() const { return m_translation; }
    // What the user sees: the translation when there is one, else the text.
    const StringT<TEncUtf8>& GetDisplayText() const { return m_translation.IsEmpty() ? m_text : m_translation; }

private:
    StringT<TEncUtf8> m_text;
    StringT<TEncUtf8> m_context;
    StringT<TEncUtf8> m_translation;
};

}  // namespace Kernel
