// The configuration files as start-up reads them: one input is loaded as the destination list,
// the key pair list and the internet settings, through the line reader.
#include "config/destination_list.h"
#include "config/internet_setting.h"
#include "config/key_pair_list.h"
#include "fuzz_support.h"
#include "util/file_system.h"

#include <unistd.h>

namespace {

// A folder whose dest.conf, keys.conf and inet.conf are hard links to one file, so each input is
// written once and read by all three parsers.
std::string MakeConfFolder()
{
    const std::string folder = ScratchPath("conf");
    const std::string input = folder + "/dest.conf";
    if (!CreateFolder(folder))
        FuzzFailure("cannot make the configuration folder");
    WriteInputFile(input, nullptr, 0);
    for (const char* name : {"/keys.conf", "/inet.conf"}) {
        if (::link(input.c_str(), (folder + name).c_str()) != 0)
            FuzzFailure("cannot link the configuration files");
    }
    return folder + "/";
}

const std::string& ConfFolder()
{
    static const std::string folder = MakeConfFolder();
    return folder;
}

// Loading a readable file never fails on its content.
void Load(CConfFile& file)
{
    if (!file.LoadReadOnly(ConfFolder()))
        FuzzFailure("a configuration file that can be read did not load");
}

// Loads the list and looks at every entry, as the windows do when they fill their list boxes.
template <class TList> void LoadList()
{
    TList list;
    Load(list);
    for (int i = 0; i < list.GetCount(); ++i) {
        const auto* entry = list.GetAt(i);
        if (entry == nullptr)
            FuzzFailure("an entry inside the count is missing");
        (void)list.IsNameUsed(*entry, i);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    EnablePasswordProtection();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    WriteInputFile(ConfFolder() + "dest.conf", data, size);
    LoadList<CDestinationList>();
    LoadList<CKeyPairList>();
    CInternetSetting setting;
    Load(setting);
    return 0;
}
