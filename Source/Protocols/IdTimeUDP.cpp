#include "Protocols/IdTimeUDP.h"

#include <cmath>

#include "Protocols/IdExchange.h"
#include "Protocols/IdSNTP.h"

std::uint32_t TIdCustomTimeUDP::QueryTimeSeconds() {
  TIdExchange exchange(*this, *Pacer);
  exchange.Prepare();
  exchange.Send(TIdBytes());
  const std::uint32_t start = TickCountMs();
  TIdBytes buffer(4, 0);
  std::size_t length = 0;
  // Bytes that no reply filled stay zero; a short reply is used as it comes.
  if (!exchange.Receive(buffer, length)) std::fill(buffer.begin(), buffer.end(), 0);
  const std::uint32_t value = static_cast<std::uint32_t>(buffer[0]) << 24 |
                              static_cast<std::uint32_t>(buffer[1]) << 16 |
                              static_cast<std::uint32_t>(buffer[2]) << 8 | buffer[3];
  HalfTripMs = TickSpan(start, TickCountMs()) / 2;
  return value;
}

TDateTime TIdCustomTimeUDP::QueryTime() {
  const std::uint32_t value = QueryTimeSeconds();
  if (value == 0) return 0.0;
  const std::int64_t seconds = EraSeconds(value) + HalfTripMs / 1000;
  return std::trunc(BaseDate) + static_cast<double>(seconds) / SecsPerDay - UtcBias();
}

void TIdCustomTimeUDP::Shutdown() noexcept {
  TIdUDPClient::Shutdown();
  Pacer->Wake();
}
