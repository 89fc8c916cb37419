#pragma once

#include "config/destination_list.h"
#include "config/key_pair_list.h"
#include "crypto/file_decryption.h"
#include "crypto/public_key.h"
#include "support/scratch_folder.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Helpers shared by the fault and crash tests.

// Throws std::runtime_error naming what could not be set up unless done.
void Require(bool done, const std::string& what);

// Makes the folder path with mode (the parent must exist) and gives path back.
std::string MakeFolder(const std::string& path, unsigned mode);

// size bytes of varied content, the same for the same size.
std::string SampleBytes(std::size_t size);

// The public half of the shared key pair, as a sender has it.
std::unique_ptr<CPublicKey> PublicHalfOfSharedKeyPair();
// Finds the shared key pair for its own GUID.
KeyPairFinder SharedKeyPairFinder();

// What the container at containerPath restores to with the shared key pair (the restored file
// goes to outputPath); nullopt when it does not decrypt.
std::optional<std::string> RestoredFrom(const std::string& containerPath,
                                        const std::string& outputPath);

// Entries for the list files the tests write. Every entry but the last makes the first content
// of a list; the last is the one a save adds.
std::vector<CDestination> SampleDestinations();
std::vector<CKeyPairOfConf> SampleKeyPairEntries();

// The name and second text of every entry of a list file, in order.
using EntryTexts = std::vector<std::pair<std::string, std::string>>;
template <class TList> EntryTexts TextsOf(const TList& list)
{
    EntryTexts texts;
    for (int i = 0; i < list.GetCount(); ++i)
        texts.emplace_back(list.GetAt(i)->GetName(), list.GetAt(i)->GetSecondText());
    return texts;
}
