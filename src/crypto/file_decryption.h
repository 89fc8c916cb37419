#pragma once

#include "crypto/encrypted_file.h"
#include "crypto/key_pair.h"
#include "crypto/progress.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// Gives the own key pair for a key GUID (32 upper-case hexadecimal digits), or null.
using KeyPairFinder = std::function<std::unique_ptr<CKeyPair>(const std::string& keyGuid)>;
// Asks where the restored file goes, proposing the source name; nullopt when the user cancels.
using OutputNameAsker = std::function<std::optional<std::string>(const std::string& proposedName)>;

enum class EDecryptResult { Decrypted, Failed, Cancelled };

// Restores the source file from the container at containerPath with the key pair that
// findKeyPair gives for the container's key GUID.
//
// The user is asked for the output path only once the header has been checked and the key block
// unwrapped; no failure before that asks anything. The proposed name is the last component of
// the name in the header, or, when that is no usable file name (empty, ".", "..", holding a NUL,
// longer than 255 bytes), the container's own name without ".enp".
//
// The restored file is put at the chosen path in one step, with the source's last-write time,
// only when the whole data section decrypted. On failure the chosen path is as it was, no
// temporary file is left, and errorText (when given) receives the reason; on Cancelled nothing
// has been written.
//
// progress, when given, is told (0, data section size) first, then now and then how far the work
// has come, and (size, size) last; when it returns false the decryption stops and returns
// Cancelled, leaving the chosen path as it was and no temporary file. The chunks are decrypted on
// one worker thread per core (ChunkWorkerCount); every callback is called on the calling thread.
[[nodiscard]] EDecryptResult DecryptFile(const std::string& containerPath,
                                         const KeyPairFinder& findKeyPair,
                                         const OutputNameAsker& askOutputFileName,
                                         std::string* errorText = nullptr,
                                         const ProgressCallback& progress = {});

// Sets the access and modification time of the file at path to times. (Linux keeps no
// creation time that could be set.) False when times names no real moment or the file cannot be
// changed.
[[nodiscard]] bool SetFileTimes(const std::string& path, const FileTimeRecord& times);
