#include "config/machine_id.h"

#include "support/scratch_folder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

constexpr MacAddress kNone {};

SNetInterface Hardware(std::string name, MacAddress address, MacAddress permanent = kNone)
{
    SNetInterface netInterface;
    netInterface.m_szName = std::move(name);
    netInterface.m_bEthernet = true;
    netInterface.m_bHardware = true;
    netInterface.m_address = address;
    netInterface.m_permanentAddress = permanent;
    return netInterface;
}

SNetInterface Virtual(std::string name, MacAddress address)
{
    SNetInterface netInterface = Hardware(std::move(name), address);
    netInterface.m_bHardware = false;
    netInterface.m_bRandomAddress = true;
    return netInterface;
}

SNetInterface WithRandomAddress(SNetInterface netInterface)
{
    netInterface.m_bRandomAddress = true;
    return netInterface;
}

SNetInterface NotEthernet(SNetInterface netInterface)
{
    netInterface.m_bEthernet = false;
    return netInterface;
}

const MacAddress kEth0 {0x02, 0xFC, 0x00, 0x00, 0x00, 0x01};
const MacAddress kOther {0x08, 0x00, 0x27, 0x1a, 0x2b, 0x3c};
const MacAddress kBurnt {0xA4, 0xBB, 0x6D, 0x00, 0xE0, 0x0F};

TEST(MachineIdTest, ChoosesTheFirstStableHardwareAddressByName)
{
    struct Case {
        const char* what;
        std::vector<SNetInterface> interfaces;
        std::string id;
    };
    const Case cases[] = {
        {"a virtual machine: loopback, random-address ifb devices, then eth0",
         {NotEthernet(Hardware("lo", kNone)), Virtual("ifb0", kOther), Virtual("ifb1", kBurnt),
          Hardware("eth0", kEth0)},
         "02FC000000010000"},
        {"name order, whatever the listing order",
         {Hardware("eth1", kOther), Hardware("eth0", kEth0), Hardware("wlan0", kBurnt)},
         "02FC000000010000"},
        {"names compare byte for byte",
         {Hardware("eth2", kEth0), Hardware("eth10", kOther)},
         "0800271A2B3C0000"},
        {"the permanent address wins over a changed one",
         {Hardware("enp3s0", kOther, kBurnt)},
         "A4BB6D00E00F0000"},
        {"a random current address is fine when the permanent one is known",
         {WithRandomAddress(Hardware("wlp2s0", kOther, kBurnt))},
         "A4BB6D00E00F0000"},
        {"a random address without a permanent one does not count",
         {WithRandomAddress(Hardware("eth0", kEth0)), Hardware("eth1", kOther)},
         "0800271A2B3C0000"},
        {"a zero address does not count",
         {Hardware("eth0", kNone), Hardware("eth1", kOther)},
         "0800271A2B3C0000"},
        {"a hardware device of another type does not count",
         {NotEthernet(Hardware("eth0", kEth0, kEth0))},
         "NO_ADAPTER_FOUND"},
        {"only virtual interfaces",
         {Virtual("ifb0", kOther), Virtual("veth1", kEth0)},
         "NO_ADAPTER_FOUND"},
        {"no interface at all", {}, "NO_ADAPTER_FOUND"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseMachineId(c.interfaces), c.id) << c.what;
}

// A folder laid out like /sys/class/net.
class CNetFolder {
public:
    explicit CNetFolder(const CScratchFolder& scratch) : m_path(scratch / "net")
    {
        ::mkdir(m_path.c_str(), 0755);
    }
    void Add(const std::string& name, const std::string& type, const std::string& address,
             const std::string& assignType, bool hardware) const
    {
        const std::string folder = m_path + "/" + name;
        ::mkdir(folder.c_str(), 0755);
        WriteWholeFile(folder + "/type", type + "\n");
        WriteWholeFile(folder + "/addr_len", "6\n");
        WriteWholeFile(folder + "/address", address + "\n");
        WriteWholeFile(folder + "/addr_assign_type", assignType + "\n");
        if (hardware)
            ::mkdir((folder + "/device").c_str(), 0755);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

const SNetInterface* Find(const std::vector<SNetInterface>& interfaces, const std::string& name)
{
    auto found = std::find_if(interfaces.begin(), interfaces.end(),
                              [&](const SNetInterface& i) { return i.m_szName == name; });
    return found == interfaces.end() ? nullptr : &*found;
}

TEST(MachineIdTest, ReadsTheInterfacesFromTheKernelsFolderLayout)
{
    CScratchFolder scratch;
    CNetFolder net(scratch);
    net.Add("lo", "772", "00:00:00:00:00:00", "0", false);
    net.Add("ifb0", "1", "42:e5:1d:95:f7:3c", "1", false);
    net.Add("eth0", "1", "02:fc:00:00:00:01", "0", true);
    net.Add("eth1", "1", "02:fc:00:00:0", "0", true);
    WriteWholeFile(net.Path() + "/eth2", "");

    const std::vector<SNetInterface> interfaces = ReadNetInterfaces(net.Path());
    ASSERT_EQ(interfaces.size(), 5u);
    const SNetInterface* eth0 = Find(interfaces, "eth0");
    ASSERT_NE(eth0, nullptr);
    EXPECT_TRUE(eth0->m_bEthernet && eth0->m_bHardware && !eth0->m_bRandomAddress);
    EXPECT_EQ(eth0->m_address, kEth0);
    EXPECT_EQ(eth0->m_permanentAddress, kNone);

    const SNetInterface* ifb0 = Find(interfaces, "ifb0");
    ASSERT_NE(ifb0, nullptr);
    EXPECT_TRUE(ifb0->m_bEthernet && !ifb0->m_bHardware && ifb0->m_bRandomAddress);
    EXPECT_FALSE(Find(interfaces, "lo")->m_bEthernet);
    EXPECT_EQ(Find(interfaces, "eth1")->m_address, kNone) << "a malformed address reads as none";
    EXPECT_FALSE(Find(interfaces, "eth2")->m_bEthernet) << "unreadable attributes count as absent";

    EXPECT_EQ(ChooseMachineId(interfaces), "02FC000000010000");
    EXPECT_TRUE(ReadNetInterfaces(scratch / "missing").empty());
}

TEST(MachineIdTest, ThisComputersIdentifierIsWellFormedAndStable)
{
    ComputeMachineId();
    const std::string first = g_szMachineId;
    ComputeMachineId();
    EXPECT_EQ(g_szMachineId, first);
    const bool hex = first.size() == 16 && std::all_of(first.begin(), first.end(), [](char c) {
                         return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
                     });
    EXPECT_TRUE(hex || first == "NO_ADAPTER_FOUND") << first;
}

} // namespace
