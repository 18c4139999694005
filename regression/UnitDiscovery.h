// Finding the unit documents below a directory and splitting them by the ignore lists.
#pragma once
#include <vector>

#include "Kernel/String.h"

// Appends the units in and below directory to units, or to ignored when the
// directory's own ignore list names them; either list may be null.
void FindUnits(const Kernel::String& directory, std::vector<Kernel::String>* units,
               std::vector<Kernel::String>* ignored);

// True when the last component of the path ends in one of the unit extensions.
bool IsUnitFile(const Kernel::String& path);

// The extension starting at the last "." of the last component; none when that
// "." is the first character of the text.
Kernel::String GetFileExtension(const Kernel::String& path, bool withDot);

// Names from the directory's "ignore.txt" and "ignore_mac.txt", sorted.
std::vector<Kernel::String> LoadRegressionIgnoreLists(const Kernel::String& directory);

// Appends the names of one ignore file; a file that cannot be read adds nothing.
void ReadIgnoreListFile(std::vector<Kernel::String>& list, const Kernel::String& path);

// Removes trailing, then leading white space.
void TrimString(Kernel::String& text);
