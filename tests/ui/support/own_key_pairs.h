#pragma once

#include <string>
#include <vector>

// The user's own key pairs in a test's data folder (a CDataScope), and ways to make their files
// misbehave.

// Registers a key pair under name, as RegisterKeyPair does: the shared test key under a key GUID
// of its own, made from number (0000...000N), so a list can hold several distinct pairs without
// waiting for key generation. Gives the entry's file name, GUID + ".key".
std::string RegisterNumberedKeyPair(const std::string& name, int number);

// The key GUID made from number: 32 upper-case hexadecimal digits.
std::string NumberedGuid(int number);

// The names of the key pair list, in order.
std::vector<std::string> KeyPairNames();
// The entries of the key pair list, in order, each as "name file".
std::vector<std::string> KeyPairEntries();

// g_szDataFolder + "keys.conf".
std::string KeysConfPath();
// The entries keys.conf holds, read afresh from the file, in order, each as "name file".
std::vector<std::string> KeysConfEntries();

// Marks a file or folder immutable for the object's lifetime: not even root may delete, rename
// or change it, nor change what a folder holds. Cleared again at the end of the scope, whatever
// the outcome of the test. IsSet() is false where the file system or the process's privileges
// do not allow it.
class CImmutableScope {
public:
    explicit CImmutableScope(std::string path);
    ~CImmutableScope();
    CImmutableScope(const CImmutableScope&) = delete;
    CImmutableScope& operator=(const CImmutableScope&) = delete;

    bool IsSet() const { return m_bSet; }

private:
    static bool SetImmutable(const std::string& path, bool immutable);

    std::string m_path;
    bool m_bSet = false;
};
