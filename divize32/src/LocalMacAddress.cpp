#include <ifaddrs.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <sys/socket.h>

#include <cstring>
#include <mutex>

#include "MessageQueue.h"

namespace divize {
namespace {

void ReadFirstMac(std::uint8_t* out) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
        if ((entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        sockaddr_ll link;
        std::memcpy(&link, entry->ifa_addr, sizeof(link));
        if (link.sll_halen == 0 || link.sll_halen > 8) continue;
        bool allZero = true;
        for (unsigned i = 0; i < link.sll_halen; ++i) allZero = allZero && link.sll_addr[i] == 0;
        if (allZero) continue;
        std::memcpy(out, link.sll_addr, link.sll_halen);
        break;
    }
    freeifaddrs(list);
}

}  // namespace

const std::uint8_t* LocalMacAddress() {
    static std::uint8_t address[8] = {};
    static std::once_flag once;
    std::call_once(once, [] { ReadFirstMac(address); });
    return address;
}

}  // namespace divize
