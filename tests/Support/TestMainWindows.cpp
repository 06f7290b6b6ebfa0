// SPDX-License-Identifier: MIT
// The test main of the Windows build. Tests that open sockets must never reach a
// real network: refuse to run where any network adapter besides loopback is up.
// Under Wine the adapters are the Linux interfaces, so inside `unshare -rn` only
// loopback is there (scripts/test.sh makes that namespace).
#include <winsock2.h>
#include <iphlpapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gmock/gmock.h>

namespace {

[[noreturn]] void Refuse(const std::string& detail) {
  std::fprintf(stderr,
               "This test opens sockets and must not see a real network: run it through scripts/test.sh, "
               "which starts Wine inside a private network namespace\n(%s)\n",
               detail.c_str());
  std::exit(2);
}

std::string Narrow(const wchar_t* text) {
  char buffer[256] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
  return buffer;
}

void RequirePrivateNetwork() {
  ULONG size = 16384;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                  nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result == ERROR_NO_DATA) Refuse("no network adapter at all, not even loopback");
  if (result != NO_ERROR) Refuse("cannot list the network adapters: error " + std::to_string(result));
  bool loopbackUp = false;
  std::string others;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
      loopbackUp = true;
    else
      others += (others.empty() ? "" : ", ") + Narrow(adapter->FriendlyName);
  }
  if (!others.empty()) Refuse("network adapters up besides loopback: " + others);
  if (!loopbackUp) Refuse("the loopback adapter is down: run 'ip link set lo up' first");
}

}  // namespace

int main(int argc, char** argv) {
  RequirePrivateNetwork();
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
