// SPDX-License-Identifier: MIT
#include "Protocols/IdTimeUDPServer.h"

#include <cmath>

#include "Protocols/IdTimeSource.h"

std::uint32_t TIdCustomTimeUDPServer::TimeValue(TDateTime localNow, TDateTime utcBias, TDateTime baseDate) {
  const long double days = static_cast<long double>(localNow) + utcBias - std::trunc(baseDate);
  const long double seconds = days * 24 * 60 * 60;
  if (!std::isfinite(seconds) || std::fabs(seconds) >= 9.2e18L) return 0;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(seconds)));
}

bool TIdCustomTimeUDPServer::IsRefusedSource(const TIdSocketHandle& binding) {
  return IdTimeSource::IsRefused(binding.RemotePort, binding.RemoteAddress, binding.Port, binding.IP);
}

void TIdCustomTimeUDPServer::DispatchDatagram(const TIdBytes& data, TIdSocketHandle& binding) {
  if (IsRefusedSource(binding)) return;  // dropped without a reply or a report
  TIdUDPServer::DispatchDatagram(data, binding);
  const std::uint32_t value = TimeValue(Now(), UtcBias(), BaseDate);
  const TIdBytes reply = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  SendTo(binding.RemoteAddress, binding.RemotePort, reply);
}
