#pragma once

#include <string>

// The data, keys and temp folders, each ending with '/'. Set once at start-up (SetFolderPaths)
// before anything reads them.
extern std::string g_szDataFolder;
extern std::string g_szKeysFolder;
extern std::string g_szTempFolder;
