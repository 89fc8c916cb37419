#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The machine identifier that the stored FTP password is encrypted under: 16 upper-case
// hexadecimal digits made from the address of this computer's first network adapter, or
// kNoAdapterFound. Set by ComputeMachineId at start-up, before any configuration file is loaded,
// and only read afterwards.
extern std::string g_szMachineId;

inline constexpr std::string_view kNoAdapterFound = "NO_ADAPTER_FOUND";

using MacAddress = std::array<unsigned char, 6>;

// A network interface as the kernel describes it, for choosing the first adapter.
struct SNetInterface {
    std::string m_szName;
    bool m_bEthernet = false;         // Ethernet hardware type with a 6-byte address
    bool m_bHardware = false;         // backed by a device, unlike bridges, tunnels, veth or ifb
    bool m_bRandomAddress = false;    // the kernel made up its current address
    MacAddress m_address {};          // current address
    MacAddress m_permanentAddress {}; // burnt-in address; all zero when the driver reports none
};

// The identifier for these interfaces. The identifier must stay the same from boot to boot, or
// the stored password becomes unreadable, so only hardware-backed Ethernet interfaces count, each
// with its permanent address, or else with its current address when that is neither random nor
// zero; the first of them by interface name (byte order) gives its six address bytes and two zero
// bytes as "%02X" each. kNoAdapterFound when none counts.
[[nodiscard]] std::string ChooseMachineId(std::span<const SNetInterface> interfaces);

// The interfaces of netFolder, laid out like /sys/class/net, without their permanent addresses
// (those come from the driver, not from the folder). Unreadable attributes count as absent.
[[nodiscard]] std::vector<SNetInterface> ReadNetInterfaces(const std::string& netFolder);

// Sets g_szMachineId from this computer's interfaces.
void ComputeMachineId();
