#include "cli/commands.h"

#include "app/data_folders.h"
#include "config/key_pair_list.h"
#include "crypto/file_decryption.h"
#include "crypto/file_encryption.h"
#include "crypto/key_generator.h"
#include "net/http_download.h"
#include "net/url.h"
#include "util/container_name.h"
#include "util/file_system.h"
#include "util/folder_paths.h"
#include "util/temp_file.h"

#include <iostream>
#include <sys/stat.h>

namespace {

int Fail(const std::string& message)
{
    std::cerr << "pellmar: " << message << "\n";
    return kExitFailure;
}

bool Exists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

std::string ExistsMessage(const std::string& path)
{
    return path + " exists; add --force to replace it";
}

// The program's data folders, whose temp folder every command writes through.
bool PrepareDataFolders()
{
    CDataFolders folders;
    if (!folders.BuildDataFolders())
        return false;
    SetFolderPaths(folders.m_szDataFolder, folders.m_szKeysFolder, folders.m_szTempFolder);
    RemoveStaleTempFiles();
    return true;
}

const char* const kNoDataFolder =
    "cannot make the data folder (is $HOME or $XDG_DATA_HOME writable?)";

// The recipient's public key from a public key file or an http/https URL of one. The download's
// temporary file is gone when this returns, whatever happened.
std::unique_ptr<CPublicKey> ReadRecipient(const std::string& recipient, std::string& problem)
{
    if (!IsHttpUrl(recipient)) {
        std::unique_ptr<CPublicKey> key = ReadPublicKeyFile(recipient);
        if (!key)
            problem = recipient + " is not a public key file";
        return key;
    }
    const CTempFile downloaded = HttpDownloadFile(recipient);
    if (!downloaded) {
        problem = "cannot download the public key from " + recipient;
        return nullptr;
    }
    std::unique_ptr<CPublicKey> key = ReadPublicKeyFile(downloaded.GetPath());
    if (!key)
        problem = recipient + " does not hold a public key file";
    return key;
}

int WritePublicKeyFile(const CKeyPair& pair, const std::string& path)
{
    CTempFile file = WritePublicKeyTempFile(pair);
    if (!file || !CopyTempFileTo(file, path, EFileAccess::Shared))
        return Fail("cannot write the public key file " + path);
    return kExitSuccess;
}

} // namespace

int RunKeyGen(const SCommandLine& command)
{
    const std::string& pairPath = command.m_keyPairOut;
    const std::string& publicPath = command.m_publicKeyOut;
    if (pairPath == publicPath)
        return Fail("--out and --public-out must name different files");
    for (const std::string& path : {pairPath, publicPath}) {
        if (!path.empty() && Exists(path))
            return Fail(path + " exists; keygen never replaces a file");
    }
    if (!PrepareDataFolders())
        return Fail(kNoDataFolder);

    CKeyGenerator generator;
    if (!generator.Generate())
        return Fail("cannot generate a key pair");
    CKeyPair& pair = *generator.GetKeyPair();
    if (!pair.SaveFile(pairPath))
        return Fail("cannot write the key pair file " + pairPath);
    if (!publicPath.empty() && WritePublicKeyFile(pair, publicPath) != kExitSuccess) {
        // Leave nothing half-made behind.
        (void)ForceDeleteFile(pairPath);
        return kExitFailure;
    }
    std::cout << "Created key pair " << pair.GetGuid() << " in " << pairPath << "\n";
    return kExitSuccess;
}

int RunEncrypt(const SCommandLine& command)
{
    const std::string& source = command.m_files.front();
    const std::string output =
        command.m_output.empty() ? DefaultContainerPath(source) : command.m_output;
    if (!command.m_bForce && Exists(output))
        return Fail(ExistsMessage(output));
    if (!PrepareDataFolders())
        return Fail(kNoDataFolder);
    std::string error;
    std::unique_ptr<CPublicKey> recipient = ReadRecipient(command.m_recipient, error);
    if (!recipient)
        return Fail(error);

    if (!EncryptFile(source, output, *recipient, &error))
        return Fail("cannot encrypt " + source + ": " + error);
    return kExitSuccess;
}

namespace {

// Finds a container's key pair in the key pair file named with --key (held in given) and keeps
// in problem why it did not match.
KeyPairFinder GivenKeyPair(std::unique_ptr<CKeyPair>& given, const std::string& path,
                           std::string& problem)
{
    return [&given, &path, &problem](const std::string& guid) -> std::unique_ptr<CKeyPair> {
        if (given && given->GetGuid() == guid)
            return std::move(given);
        problem = "the file was encrypted for key " + guid + ", but " + path + " holds another key";
        return nullptr;
    };
}

// Finds a container's key pair among the user's own and keeps in problem why there was none.
KeyPairFinder OwnKeyPair(const CKeyPairList& list, std::string& problem)
{
    return [&list, &problem](const std::string& guid) {
        std::unique_ptr<CKeyPair> pair = list.FindKeyPair(guid);
        if (!pair)
            problem = "no key pair of yours for key " + guid +
                      ": import the key pair this file was encrypted for, or name it with --key";
        return pair;
    };
}

} // namespace

int RunDecrypt(const SCommandLine& command)
{
    const std::string& container = command.m_files.front();
    if (!PrepareDataFolders())
        return Fail(kNoDataFolder);

    std::string keyProblem;
    std::unique_ptr<CKeyPair> given;
    CKeyPairList ownKeyPairs;
    KeyPairFinder findKeyPair;
    if (!command.m_keyPairFile.empty()) {
        given = LoadKeyPairFile(command.m_keyPairFile);
        if (!given)
            return Fail(command.m_keyPairFile + " is not a key pair file");
        findKeyPair = GivenKeyPair(given, command.m_keyPairFile, keyProblem);
    } else {
        if (!ownKeyPairs.LoadReadOnly(g_szDataFolder))
            return Fail("cannot read your key pair list " + g_szDataFolder + "keys.conf");
        findKeyPair = OwnKeyPair(ownKeyPairs, keyProblem);
    }

    std::string output;
    std::string outputProblem;
    auto askOutput = [&](const std::string& proposedName) -> std::optional<std::string> {
        output = command.m_output.empty() ? proposedName : command.m_output;
        if (!command.m_bForce && Exists(output)) {
            outputProblem = ExistsMessage(output);
            return std::nullopt;
        }
        return output;
    };
    std::string error;
    switch (DecryptFile(container, findKeyPair, askOutput, &error)) {
    case EDecryptResult::Decrypted:
        std::cout << "Restored " << output << "\n";
        return kExitSuccess;
    case EDecryptResult::Cancelled:
        return Fail(outputProblem);
    case EDecryptResult::Failed:
        break;
    }
    return Fail("cannot decrypt " + container + ": " + (keyProblem.empty() ? error : keyProblem));
}
