#include "config/machine_id.h"

#include "util/unique_fd.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <memory>
#include <net/if.h>
#include <net/if_arp.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

std::string g_szMachineId;

namespace {

constexpr const char* kSysNetFolder = "/sys/class/net";
// addr_assign_type: NET_ADDR_RANDOM, an address the kernel drew at random (new at every boot).
constexpr int kRandomAddressType = 1;

bool IsZero(const MacAddress& address)
{
    return std::all_of(address.begin(), address.end(), [](unsigned char b) { return b == 0; });
}

// The address this interface is known by from boot to boot, if any.
std::optional<MacAddress> StableAddressOf(const SNetInterface& netInterface)
{
    if (!netInterface.m_bEthernet || !netInterface.m_bHardware)
        return std::nullopt;
    if (!IsZero(netInterface.m_permanentAddress))
        return netInterface.m_permanentAddress;
    if (netInterface.m_bRandomAddress || IsZero(netInterface.m_address))
        return std::nullopt;
    return netInterface.m_address;
}

std::string FormatMachineId(const MacAddress& address)
{
    // The identifier holds eight address bytes; a six-byte address leaves the last two zero.
    std::array<unsigned char, 8> field {};
    std::copy(address.begin(), address.end(), field.begin());
    std::string text;
    for (unsigned char byte : field) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

// A sysfs attribute's text without its line end; nothing when it cannot be read.
std::optional<std::string> ReadAttribute(const std::string& folder, const char* name)
{
    std::ifstream in(folder + "/" + name);
    std::string text;
    if (!in || !std::getline(in, text))
        return std::nullopt;
    return text;
}

std::optional<int> ReadNumber(const std::string& folder, const char* name)
{
    std::optional<std::string> text = ReadAttribute(folder, name);
    int value = 0;
    if (!text ||
        std::from_chars(text->data(), text->data() + text->size(), value).ec != std::errc())
        return std::nullopt;
    return value;
}

// "02:fc:00:00:00:01" as six bytes; nothing for any other form.
std::optional<MacAddress> ParseMacAddress(const std::string& text)
{
    MacAddress address {};
    if (text.size() != 3 * address.size() - 1)
        return std::nullopt;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char* digits = text.data() + 3 * i;
        if (i > 0 && digits[-1] != ':')
            return std::nullopt;
        if (std::from_chars(digits, digits + 2, address[i], 16).ptr != digits + 2)
            return std::nullopt;
    }
    return address;
}

SNetInterface ReadNetInterface(const std::string& netFolder, const std::string& name)
{
    const std::string folder = netFolder + "/" + name;
    SNetInterface netInterface;
    netInterface.m_szName = name;
    netInterface.m_bEthernet =
        ReadNumber(folder, "type") == ARPHRD_ETHER &&
        ReadNumber(folder, "addr_len") == static_cast<int>(sizeof(MacAddress));
    struct stat status {};
    netInterface.m_bHardware = ::stat((folder + "/device").c_str(), &status) == 0;
    netInterface.m_bRandomAddress = ReadNumber(folder, "addr_assign_type") == kRandomAddressType;
    if (std::optional<std::string> text = ReadAttribute(folder, "address")) {
        if (std::optional<MacAddress> address = ParseMacAddress(*text))
            netInterface.m_address = *address;
    }
    return netInterface;
}

// Room for a device address in an ethtool request: the kernel's MAX_ADDR_LEN for network devices
// (glibc's <net/if_arp.h> has a smaller MAX_ADDR_LEN of its own, for ARP requests).
constexpr std::uint32_t kDeviceAddressRoom = 32;

// The driver's permanent address of the interface (ETHTOOL_GPERMADDR); all zero when unknown.
MacAddress ReadPermanentAddress(const std::string& name)
{
    MacAddress address {};
    if (name.size() >= IFNAMSIZ)
        return address;
    // struct ethtool_perm_addr: cmd, size (room for the address, then its length), address bytes.
    static_assert(offsetof(ethtool_perm_addr, data) == 2 * sizeof(std::uint32_t));
    std::array<std::uint32_t, 2 + kDeviceAddressRoom / sizeof(std::uint32_t)> request {};
    request[0] = ETHTOOL_GPERMADDR;
    request[1] = kDeviceAddressRoom;
    ifreq interfaceRequest {};
    std::memcpy(interfaceRequest.ifr_name, name.c_str(), name.size());
    interfaceRequest.ifr_data = reinterpret_cast<char*>(request.data());

    // Any socket reaches the device ioctls; a local one needs no network stack.
    CUniqueFd socketFd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socketFd.IsOpen() || ::ioctl(socketFd.Get(), SIOCETHTOOL, &interfaceRequest) != 0 ||
        request[1] != address.size())
        return address;
    const auto* data =
        reinterpret_cast<const unsigned char*>(request.data()) + offsetof(ethtool_perm_addr, data);
    std::copy_n(data, address.size(), address.begin());
    return address;
}

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

std::string ChooseMachineId(std::span<const SNetInterface> interfaces)
{
    const SNetInterface* first = nullptr;
    MacAddress chosen {};
    for (const SNetInterface& netInterface : interfaces) {
        std::optional<MacAddress> address = StableAddressOf(netInterface);
        if (address && (!first || netInterface.m_szName < first->m_szName)) {
            first = &netInterface;
            chosen = *address;
        }
    }
    return first ? FormatMachineId(chosen) : std::string(kNoAdapterFound);
}

std::vector<SNetInterface> ReadNetInterfaces(const std::string& netFolder)
{
    std::vector<SNetInterface> interfaces;
    std::unique_ptr<DIR, DirClose> dir(::opendir(netFolder.c_str()));
    if (!dir)
        return interfaces;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            interfaces.push_back(ReadNetInterface(netFolder, name));
    }
    return interfaces;
}

void ComputeMachineId()
{
    std::vector<SNetInterface> interfaces = ReadNetInterfaces(kSysNetFolder);
    for (SNetInterface& netInterface : interfaces)
        netInterface.m_permanentAddress = ReadPermanentAddress(netInterface.m_szName);
    g_szMachineId = ChooseMachineId(interfaces);
}
