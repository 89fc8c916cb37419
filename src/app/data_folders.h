#pragma once

#include <string>

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
// It is created (0700, with its parents) when it does not exist yet. False, with path empty, when
// no home folder is known or the folder cannot be made.
[[nodiscard]] bool GetAppDataFolder(std::string& path);

// Publishes the three folders in g_szDataFolder, g_szKeysFolder and g_szTempFolder, each ending
// with '/'.
void SetFolderPaths(const std::string& dataFolder, const std::string& keysFolder,
                    const std::string& tempFolder);

// The folder tree the program keeps its data in:
//   <app data>/Talvex/pellmar/        dest.conf, keys.conf, inet.conf
//   <app data>/Talvex/pellmar/keys/   one key pair file per own key pair
//   <app data>/Talvex/pellmar/temp/   temporary files
// The last three are private to the user (0700): they hold keys and, while a decryption runs,
// plaintext.
class CDataFolders {
public:
    // Makes the tree, replacing a file that stands where a folder belongs, and fills the three
    // paths (without a trailing '/'). True when all four folders exist.
    [[nodiscard]] bool BuildDataFolders();

    std::string m_szDataFolder;
    std::string m_szKeysFolder;
    std::string m_szTempFolder;
};
