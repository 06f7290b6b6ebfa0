// SPDX-License-Identifier: MIT
#include "Support/NetnsCheck.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace KestrineTest {
namespace {

[[noreturn]] void Refuse(const std::string& detail) {
  std::fprintf(stderr,
               "This test opens sockets and must run inside a private network namespace: "
               "use scripts/test.sh, or unshare -rn sh -c 'ip link set lo up; <test>'\n(%s)\n",
               detail.c_str());
  std::exit(2);
}

std::string OtherInterfaces() {
  std::string names;
  struct if_nameindex* list = if_nameindex();
  if (list == nullptr) Refuse(std::string("cannot list network interfaces: ") + std::strerror(errno));
  for (struct if_nameindex* i = list; i->if_index != 0; ++i) {
    if (std::strcmp(i->if_name, "lo") != 0) names += (names.empty() ? "" : ", ") + std::string(i->if_name);
  }
  if_freenameindex(list);
  return names;
}

bool LoopbackIsUp() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  const bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_UP) != 0;
  close(fd);
  return up;
}

in_addr ParseIpv4(const std::string& ipv4) {
  in_addr address{};
  if (inet_pton(AF_INET, ipv4.c_str(), &address) != 1) throw std::runtime_error("not an IPv4 address: " + ipv4);
  return address;
}

// Sends one RTM_NEWADDR or RTM_DELADDR for address/32 on lo and returns the kernel's errno.
int ChangeLoopbackAddress(uint16_t type, uint16_t flags, in_addr address) {
  struct {
    nlmsghdr header;
    ifaddrmsg message;
    rtattr localAttr;
    in_addr local;
    rtattr addressAttr;
    in_addr address;
  } request{};
  request.header.nlmsg_len = sizeof(request);
  request.header.nlmsg_type = type;
  request.header.nlmsg_flags = static_cast<uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags);
  request.header.nlmsg_seq = 1;
  request.message.ifa_family = AF_INET;
  request.message.ifa_prefixlen = 32;
  request.message.ifa_scope = RT_SCOPE_HOST;
  request.message.ifa_index = if_nametoindex("lo");
  request.localAttr = {RTA_LENGTH(sizeof(in_addr)), IFA_LOCAL};
  request.local = address;
  request.addressAttr = {RTA_LENGTH(sizeof(in_addr)), IFA_ADDRESS};
  request.address = address;

  const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return errno;
  int error = 0;
  alignas(nlmsghdr) char reply[512];
  if (send(fd, &request, sizeof(request), 0) < 0)
    error = errno;
  else if (const ssize_t n = recv(fd, reply, sizeof(reply), 0); n < 0)
    error = errno;
  else {
    const auto* answer = reinterpret_cast<const nlmsghdr*>(reply);
    if (NLMSG_OK(answer, static_cast<unsigned>(n)) && answer->nlmsg_type == NLMSG_ERROR)
      error = -static_cast<const nlmsgerr*>(NLMSG_DATA(answer))->error;
  }
  close(fd);
  return error;
}

}  // namespace

void RequirePrivateNetwork() {
  if (const std::string others = OtherInterfaces(); !others.empty()) Refuse("visible interfaces besides lo: " + others);
  if (!LoopbackIsUp()) Refuse("the loopback interface is down: run 'ip link set lo up' first");
}

void AddLoopbackAddress(const std::string& ipv4) {
  RequirePrivateNetwork();
  // NLM_F_REPLACE: adding an address that is already there succeeds.
  if (const int error = ChangeLoopbackAddress(RTM_NEWADDR, NLM_F_CREATE | NLM_F_REPLACE, ParseIpv4(ipv4)))
    throw std::runtime_error("AddLoopbackAddress(" + ipv4 + "): " + std::strerror(error));
}

void RemoveLoopbackAddress(const std::string& ipv4) {
  RequirePrivateNetwork();
  const int error = ChangeLoopbackAddress(RTM_DELADDR, 0, ParseIpv4(ipv4));
  if (error != 0 && error != EADDRNOTAVAIL)
    throw std::runtime_error("RemoveLoopbackAddress(" + ipv4 + "): " + std::strerror(error));
}

}  // namespace KestrineTest
