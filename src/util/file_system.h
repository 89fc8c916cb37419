#pragma once

#include <string>
#include <vector>

// Folder and file helpers. "Read-only" here is a file without its owner's write permission:
// such a file is made writable before it is deleted, and nothing else about it changes.

// Makes one folder (mode 0700; the parent must exist). A file or link standing at the path is
// deleted first. True when a folder stands at the path afterwards.
[[nodiscard]] bool CreateFolder(const std::string& path);

// Deletes a file or a symbolic link (never its target). True when nothing stands there afterwards.
[[nodiscard]] bool ForceDeleteFile(const std::string& path);

// Deletes a folder with everything below it (or whatever else stands at the path). Symbolic links
// are removed as links and never followed, the one at the path itself included. Stops at the first
// entry that cannot be removed, leaving the folder and that entry in place.
[[nodiscard]] bool RemoveFolderTree(const std::string& path);

// Names of the entries of the open folder folderFd, without "." and "..". Empty when it cannot be
// listed.
std::vector<std::string> FolderEntries(int folderFd);

// The folder part of a path, without its trailing '/' ("." for a bare name).
std::string ParentFolderOf(const std::string& path);
