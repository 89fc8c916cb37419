#include "util/folder_paths.h"

std::string g_szDataFolder;
std::string g_szKeysFolder;
std::string g_szTempFolder;
