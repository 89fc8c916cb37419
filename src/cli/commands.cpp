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

#include "cli/interrupt.h"
#include "cli/progress_bar.h"

#include <filesystem>
#include <iostream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// Where one file's output goes: --output, else its default path, put into --output-dir when one
// is given.
std::string OutputPath(const SCommandLine& command, const std::string& defaultPath)
{
    if (!command.m_output.empty())
        return command.m_output;
    if (command.m_outputDir.empty())
        return defaultPath;
    const std::string name = std::filesystem::path(defaultPath).filename().string();
    return (std::filesystem::path(command.m_outputDir) / name).string();
}

// --output-dir must name a folder that is there: found missing at the end of a long decryption,
// it would waste the work.
bool CheckOutputFolder(const SCommandLine& command)
{
    if (command.m_outputDir.empty())
        return true;
    struct stat status {};
    if (::stat(command.m_outputDir.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return true;
    Fail(command.m_outputDir + " is not a folder");
    return false;
}

// The files of one encrypt or decrypt call, worked through one after another. A file that fails
// is reported and the next one goes on; the exit status then says that something failed.
// Ctrl-C stops the file being worked on (its operation removes what it had begun) and ends the
// run. No two files of one call write the same output: the second would silently replace what
// the first made.
class CFileRun {
public:
    explicit CFileRun(const SCommandLine& command)
        : m_bar(STDERR_FILENO, CProgressBar::WantedOn(STDERR_FILENO, command.m_bQuiet))
    {
    }

    bool IsInterrupted() const { return CInterruptCatcher::IsInterrupted(); }

    // Reports one file's failure.
    void Failed(const std::string& message)
    {
        m_bar.Finish();
        ++m_nFailed;
        std::cerr << "pellmar: " << message << "\n";
    }

    // Reserves output for this call; false, with the reason in problem, when a file before
    // wrote there.
    bool Claim(const std::string& output, std::string& problem)
    {
        std::error_code error;
        std::filesystem::path key = std::filesystem::weakly_canonical(output, error);
        if (error)
            key = output;
        if (!m_claimed.insert(key.string()).second) {
            problem = output + " was written by this call already";
            return false;
        }
        return true;
    }

    // The progress callback of the work on the file called name: draws the bar and asks the work
    // to stop once Ctrl-C came.
    ProgressCallback Start(const std::string& name)
    {
        m_bar.Start(name);
        return [this](std::uint64_t done, std::uint64_t total) {
            m_bar.Update(done, total);
            return !IsInterrupted();
        };
    }
    void Finish() { m_bar.Finish(); }

    // The exit status of the run. After Ctrl-C the process ends here by the signal, as it would
    // have without the catcher, once it has said what the stop left undone (stopped, when the stop
    // came in the middle of a file).
    int End(const std::string& stopped)
    {
        m_bar.Finish();
        if (IsInterrupted()) {
            if (!stopped.empty())
                std::cerr << "pellmar: interrupted; " << stopped << "\n";
            m_interrupts.Reraise();
        }
        return m_nFailed == 0 ? kExitSuccess : kExitFailure;
    }

private:
    CInterruptCatcher m_interrupts;
    CProgressBar m_bar;
    std::set<std::string> m_claimed;
    int m_nFailed = 0;
};

} // namespace

int RunEncrypt(const SCommandLine& command)
{
    // Outputs are checked before the key is fetched: a call that can write nothing downloads
    // nothing.
    if (!CheckOutputFolder(command))
        return kExitFailure;
    std::vector<std::pair<std::string, std::string>> jobs; // source, output
    int refused = 0;
    for (const std::string& source : command.m_files) {
        const std::string output = OutputPath(command, DefaultContainerPath(source));
        if (!command.m_bForce && Exists(output)) {
            Fail(ExistsMessage(output));
            ++refused;
        } else {
            jobs.emplace_back(source, output);
        }
    }
    if (jobs.empty())
        return kExitFailure;
    if (!PrepareDataFolders())
        return Fail(kNoDataFolder);
    std::string error;
    std::unique_ptr<CPublicKey> recipient = ReadRecipient(command.m_recipient, error);
    if (!recipient)
        return Fail(error);

    CFileRun run(command);
    std::string stopped;
    for (const auto& [source, output] : jobs) {
        if (run.IsInterrupted())
            break;
        std::string problem;
        if (!run.Claim(output, problem)) {
            run.Failed("cannot encrypt " + source + ": " + problem);
            continue;
        }
        const bool encrypted = EncryptFile(source, output, *recipient, &error, run.Start(source));
        run.Finish();
        if (!encrypted && run.IsInterrupted()) {
            stopped = output + " was not written";
            break;
        }
        if (!encrypted)
            run.Failed("cannot encrypt " + source + ": " + error);
    }
    const int status = run.End(stopped);
    return refused > 0 ? kExitFailure : status;
}

namespace {

// Finds a container's key pair in the key pair file named with --key and keeps in problem why it
// did not match. The file is read anew for every container, since each decryption takes the key
// pair it is given.
KeyPairFinder GivenKeyPair(const std::string& path, std::string& problem)
{
    return [&path, &problem](const std::string& guid) -> std::unique_ptr<CKeyPair> {
        std::unique_ptr<CKeyPair> given = LoadKeyPairFile(path);
        if (!given) {
            problem = path + " is not a key pair file";
            return nullptr;
        }
        if (given->GetGuid() == guid)
            return given;
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
    if (!CheckOutputFolder(command))
        return kExitFailure;
    if (!PrepareDataFolders())
        return Fail(kNoDataFolder);

    std::string keyProblem;
    CKeyPairList ownKeyPairs;
    KeyPairFinder findKeyPair;
    if (!command.m_keyPairFile.empty()) {
        if (!LoadKeyPairFile(command.m_keyPairFile))
            return Fail(command.m_keyPairFile + " is not a key pair file");
        findKeyPair = GivenKeyPair(command.m_keyPairFile, keyProblem);
    } else {
        if (!ownKeyPairs.LoadReadOnly(g_szDataFolder))
            return Fail("cannot read your key pair list " + g_szDataFolder + "keys.conf");
        findKeyPair = OwnKeyPair(ownKeyPairs, keyProblem);
    }

    CFileRun run(command);
    std::string output;
    std::string outputProblem;
    auto askOutput = [&](const std::string& proposedName) -> std::optional<std::string> {
        output = OutputPath(command, proposedName);
        if (!command.m_bForce && Exists(output))
            outputProblem = ExistsMessage(output);
        else
            run.Claim(output, outputProblem);
        if (!outputProblem.empty())
            return std::nullopt;
        return output;
    };
    std::string stopped;
    for (const std::string& container : command.m_files) {
        if (run.IsInterrupted())
            break;
        keyProblem.clear();
        output.clear();
        outputProblem.clear();
        std::string error;
        const EDecryptResult result =
            DecryptFile(container, findKeyPair, askOutput, &error, run.Start(container));
        run.Finish();
        if (result == EDecryptResult::Decrypted) {
            std::cout << "Restored " << output << "\n";
        } else if (run.IsInterrupted()) {
            stopped =
                output.empty() ? container + " was not decrypted" : output + " was not written";
            break;
        } else if (result == EDecryptResult::Cancelled) {
            run.Failed(outputProblem);
        } else {
            run.Failed("cannot decrypt " + container + ": " +
                       (keyProblem.empty() ? error : keyProblem));
        }
    }
    return run.End(stopped);
}
