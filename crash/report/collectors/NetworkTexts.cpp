// The network items: addresses, masks, gateways, DNS servers and DHCP state
// of every adapter, joined.
#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>

#include "crash/engine/ExceptionLog.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Libraries.h"

namespace crash {

namespace {

constexpr const char* kNoAddress = "000.000.000.000";
constexpr const char* kJoin = " - ";

struct TIpHelperEntries {
    decltype(&::GetAdaptersInfo) GetAdaptersInfo = nullptr;
    decltype(&::GetPerAdapterInfo) GetPerAdapterInfo = nullptr;
    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(GetAdaptersInfo, "GetAdaptersInfo");
        bind.Required(GetPerAdapterInfo, "GetPerAdapterInfo");
    }
};

std::string AddressOf(const IP_ADDR_STRING& address)
{
    return std::string(address.IpAddress.String, strnlen(address.IpAddress.String, sizeof address.IpAddress.String));
}

std::string MaskOf(const IP_ADDR_STRING& address)
{
    return std::string(address.IpMask.String, strnlen(address.IpMask.String, sizeof address.IpMask.String));
}

// The adapter's DNS servers; false when they cannot be read.
bool ReadDnsServers(const rtl::RuntimeLibrary<TIpHelperEntries>& ipHelper, ULONG index,
                    std::vector<std::string>& servers)
{
    ULONG size = 0;
    if (ipHelper->GetPerAdapterInfo(index, nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return false;
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* info = reinterpret_cast<IP_PER_ADAPTER_INFO*>(buffer.data());
    if (ipHelper->GetPerAdapterInfo(index, info, &size) != ERROR_SUCCESS) return false;
    for (const IP_ADDR_STRING* server = &info->DnsServerList; server != nullptr; server = server->Next)
        servers.push_back(AddressOf(*server));
    return true;
}

}  // namespace

std::string PaddedAddress(const std::string& address)
{
    if (address.empty()) return kNoAddress;
    std::string text;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = address.find('.', start);
        const std::string part = address.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.size() < 3) text.append(3 - part.size(), '0');
        text += part;
        if (dot == std::string::npos) break;
        text += '.';
        start = dot + 1;
    }
    return text;
}

TNetworkTexts NetworkTextsOf(const std::vector<TAdapterFacts>& adapters)
{
    TNetworkTexts texts;
    for (const TAdapterFacts& adapter : adapters) {
        texts[niDHCP] += adapter.DhcpEnabled ? "ON              - " : "OFF             - ";
        texts[niIP] += PaddedAddress(adapter.IpAddress) + kJoin;
        texts[niMask] += PaddedAddress(adapter.IpMask) + kJoin;
        texts[niGateway] += PaddedAddress(adapter.Gateway) + kJoin;
        if (!adapter.DnsRead || adapter.Dns.empty()) {
            texts[niDNS1] += std::string(kNoAddress) + kJoin;
            texts[niDNS2] += std::string(kNoAddress) + kJoin;
            continue;
        }
        texts[niDNS1] += PaddedAddress(adapter.Dns[0]) + kJoin;
        texts[niDNS2] += (adapter.Dns.size() > 1 ? PaddedAddress(adapter.Dns[1]) : std::string(kNoAddress)) + kJoin;
    }
    for (std::string& text : texts)
        if (text.ends_with(kJoin)) text.resize(text.size() - 3);
    return texts;
}

TNetworkTexts NetworkInfoTexts()
{
    const rtl::RuntimeLibrary<TIpHelperEntries> ipHelper(L"iphlpapi.dll");
    if (!ipHelper) return {};
    ULONG size = 0;
    if (ipHelper->GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return {};
    std::vector<DWORD> buffer;
    IP_ADAPTER_INFO* first = nullptr;
    // An adapter that comes up between the calls makes the list longer.
    for (int attempt = 0;; ++attempt) {
        buffer.assign((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
        first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
        const ULONG status = ipHelper->GetAdaptersInfo(first, &size);
        if (status == ERROR_SUCCESS) break;
        if (status != ERROR_BUFFER_OVERFLOW || attempt == 2) return {};
    }
    std::vector<TAdapterFacts> adapters;
    for (const IP_ADAPTER_INFO* adapter = first; adapter != nullptr; adapter = adapter->Next) {
        TAdapterFacts facts;
        facts.DhcpEnabled = adapter->DhcpEnabled != 0;
        facts.IpAddress = AddressOf(adapter->IpAddressList);
        facts.IpMask = MaskOf(adapter->IpAddressList);
        facts.Gateway = AddressOf(adapter->GatewayList);
        facts.DnsRead = ReadDnsServers(ipHelper, adapter->Index, facts.Dns);
        adapters.push_back(std::move(facts));
    }
    return NetworkTextsOf(adapters);
}

}  // namespace crash
