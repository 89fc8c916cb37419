// Saves one file over and over, alternating between two contents A and B, until it is killed.
// The crash-safety test kills it at random moments and looks at the file after each kill.
//
//   crash_saver dest TEMP DATA NAME URL     dest.conf in DATA: A as it stands, B = A + (NAME, URL)
//   crash_saver keys TEMP DATA NAME FILE    keys.conf in DATA, the same way
//   crash_saver container TEMP PUBLIC_KEY CONTAINER SOURCE_A SOURCE_B
//                                           CONTAINER holds SOURCE_A or SOURCE_B encrypted for
//                                           the key in the public key file PUBLIC_KEY
//
// TEMP is the temp folder, ending with '/'. "ready" goes to standard output once everything is set
// up, before the first save of the loop, so a kill after it always lands among the saves. Exit
// status 1 when setting up or a save fails (it never ends otherwise), 2 for wrong arguments.

#include "config/destination_list.h"
#include "config/key_pair_list.h"
#include "crypto/file_encryption.h"
#include "util/folder_paths.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

int SaveForever(const std::function<bool()>& saveA, const std::function<bool()>& saveB)
{
    std::puts("ready");
    std::fflush(stdout);
    while (saveA() && saveB()) {
    }
    return 1;
}

// Both lists are loaded from the file as it stands (A); the second then gains one entry, which
// saves B. Each list object then saves its own content whenever asked.
template <class TList, class TEntry>
int SaveListForever(const std::string& folder, const std::string& name, const std::string& second)
{
    TList listA;
    TList listB;
    if (!listA.Load(folder) || !listB.Load(folder) || !listB.InsertAt(-1, TEntry(name, second)))
        return 1;
    return SaveForever([&] { return listA.Save(); }, [&] { return listB.Save(); });
}

int EncryptForever(const std::string& publicKeyPath, const std::string& containerPath,
                   const std::string& sourceA, const std::string& sourceB)
{
    const std::unique_ptr<CPublicKey> recipient = ReadPublicKeyFile(publicKeyPath);
    if (!recipient)
        return 1;
    return SaveForever([&] { return EncryptFile(sourceA, containerPath, *recipient); },
                       [&] { return EncryptFile(sourceB, containerPath, *recipient); });
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() < 5)
        return 2;
    const std::string& kind = arguments[0];
    g_szTempFolder = arguments[1];
    if (kind == "dest" && arguments.size() == 5)
        return SaveListForever<CDestinationList, CDestination>(arguments[2], arguments[3],
                                                               arguments[4]);
    if (kind == "keys" && arguments.size() == 5)
        return SaveListForever<CKeyPairList, CKeyPairOfConf>(arguments[2], arguments[3],
                                                             arguments[4]);
    if (kind == "container" && arguments.size() == 6)
        return EncryptForever(arguments[2], arguments[3], arguments[4], arguments[5]);
    return 2;
}
