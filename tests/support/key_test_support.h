#pragma once

#include "crypto/key_pair.h"

#include <cstdint>
#include <memory>
#include <string>

// Helpers shared by the key tests.

// A key pair made once per test program (making one takes a while) and shared by its tests. Its
// GUID is a valid key GUID; it has never been saved.
const CKeyPair& SharedKeyPair();

// A new, separate copy of the shared key pair (same key and GUID) that a test may change.
std::unique_ptr<CKeyPair> CopyOfSharedKeyPair();

// Runs a shell command; its exit status, and its standard output in output when given. Standard
// error is dropped.
int RunCommand(const std::string& command, std::string* output = nullptr);

// path in single quotes for the shell.
std::string ShellQuoted(const std::string& path);

// The four bytes of value, most significant first, spelled out for building file images.
std::string BigEndianBytes(std::uint32_t value);

// A key pair file image: 68-byte header with the given fields, then the two blocks.
std::string KeyPairFileImage(const std::string& guid, const std::string& stamp,
                             std::uint32_t version, const std::string& publicPem,
                             const std::string& privatePem);

// The public and private PEM blocks of a key pair file, taken apart by offsets; false when the
// file is shorter than its header says.
bool SplitKeyPairFile(const std::string& bytes, std::string& publicPem, std::string& privatePem);

// True when both keys are present and have the same public half.
bool SameKey(const EVP_PKEY* first, const EVP_PKEY* second);

// g_szKeysFolder set to folder (made here, ending with '/') for the scope's lifetime.
class CKeysFolderScope {
public:
    explicit CKeysFolderScope(const std::string& folder);
    ~CKeysFolderScope();
    CKeysFolderScope(const CKeysFolderScope&) = delete;
    CKeysFolderScope& operator=(const CKeysFolderScope&) = delete;

    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
    std::string m_previous;
};
