#pragma once
// A file written whole is written beside its place under a temporary name
// and renamed into place once complete: a reader never sees half a file,
// and a failed write leaves the old file as it was.

#include <functional>
#include <string>

// Writes the file through write(temporaryName), which returns true when it
// wrote it all, then renames it into place. False with the file's name and
// the cause in error otherwise (the temporary file removed).
bool ReplaceFile(const std::string& fileName, const std::function<bool(const std::string& temporaryName)>& write,
                 std::string& error);
// The same for content held in memory.
bool ReplaceFileWith(const std::string& fileName, const std::string& content, std::string& error);
