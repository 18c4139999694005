// Bundles: the application bundle and the frameworks inside it, with their Info values
// and localized string tables.
#pragma once
#include <map>
#include <mutex>

#include "Collections.h"

class NSBundle : public NSObject {
    QV_OBJECT(NSBundle)
public:
    NSBundle() = default;
    explicit NSBundle(std::string path) : m_path(std::move(path)) {}

    // The application bundle: the folder two levels above "Contents/MacOS" when the executable
    // sits there, else a "Quirevale.app" beside the executable.
    static NSBundle* mainBundle();
    static void setMainBundlePath(const std::string& path);  // for tests
    // A framework bundle below Contents/Resources/Frameworks, found by its CFBundleIdentifier.
    static NSBundle* bundleWithIdentifier(const std::string& identifier);

    const std::string& bundlePath() const { return m_path; }
    std::string resourcePath() const { return m_path + "/Contents/Resources"; }
    std::string executablePath() const;
    std::string pathForResource(const std::string& name, const std::string& type) const;  // empty when missing

    // Info values from the bundle's Info.strings.
    Ref<NSString> objectForInfoDictionaryKey(const std::string& key) const;
    Ref<NSString> bundleIdentifier() const { return objectForInfoDictionaryKey("CFBundleIdentifier"); }

    // The entry of the table ("Localizable" when none is named) for key; otherwise value, or the
    // key itself when value is nil or empty.
    Ref<NSString> localizedStringForKey(const NSString* key, const NSString* value, const NSString* table) const;

    // Parses the text of a strings file ("key" = "value"; with comments); answers false on a syntax error.
    static bool ParseStrings(const std::string& text, std::map<std::string, std::string>& out);

private:
    const std::map<std::string, std::string>& Table(const std::string& file) const;
    std::string m_path;
    mutable std::mutex m_mutex;
    mutable std::map<std::string, std::map<std::string, std::string>> m_tables;
};
