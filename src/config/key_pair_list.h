#pragma once

#include "config/list_conf_file.h"
#include "crypto/key_pair.h"

#include <memory>
#include <string>

// One of the user's key pairs as the list names it: the name shown to the user and the name of
// its key pair file inside the keys folder (the key GUID followed by ".key").
class CKeyPairOfConf : public CListEntry {
public:
    static constexpr std::string_view kSecondKey = "FILE=";

    using CListEntry::CListEntry;
    const std::string& GetFile() const { return GetSecondText(); }
    void SetFile(std::string file) { SetSecondText(std::move(file)); }
};

// The user's key pairs, in the user's order, kept in "keys.conf". An entry's key pair file is
// always g_szKeysFolder followed directly by the entry's file name.
class CKeyPairList : public CListConfFile<CKeyPairOfConf> {
public:
    CKeyPairList() : CListConfFile("keys.conf") {}

    // Deletes the entry's key pair file (a missing one is no obstacle), then the entry, and saves.
    // False, changing nothing, when the file is there and cannot be deleted. A file that another
    // entry names as well is kept for that entry.
    [[nodiscard]] bool RemoveAt(int index) override;

    // The key pair in the entry's file; null for an index out of range or a file that cannot be
    // read as a key pair file.
    std::unique_ptr<CKeyPair> LoadKeyPairAt(int index) const;

    // Copies the entry's key pair file byte for byte to destPath, replacing a file there in one
    // step. False, leaving destPath as it was, for an index out of range or a failed copy.
    [[nodiscard]] bool CopyKeyFileTo(const std::string& destPath, int index) const;

    // True when some entry's file name begins with guid (byte for byte, case-sensitive). An
    // empty guid names no key pair and finds nothing.
    bool HasKeyFile(const std::string& guid) const;

    // The key pair of the first entry, in list order, whose file name begins with guid, loaded as
    // LoadKeyPairAt does; null when none matches or its file cannot be read.
    std::unique_ptr<CKeyPair> FindKeyPair(const std::string& guid) const;

    // g_szKeysFolder + the entry's file name; empty for an index out of range.
    std::string KeyFilePathAt(int index) const;

private:
    // Index of the first entry whose file name begins with guid; -1 for none.
    int FindEntry(const std::string& guid) const;
};
