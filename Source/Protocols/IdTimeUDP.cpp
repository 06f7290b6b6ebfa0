// SPDX-License-Identifier: MIT
#include "Protocols/IdTimeUDP.h"

#include <algorithm>
#include <cmath>

#include "Protocols/IdExchange.h"

std::uint32_t TimeReplySeconds(const std::uint8_t* data, std::size_t length) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | (i < length ? data[i] : 0u);
  return value;
}

TDateTime TimeReplyToLocal(std::uint32_t seconds, TDateTime baseDate, std::uint32_t halfTripMs) {
  if (seconds == 0) return 0.0;
  const std::int64_t total = EraSeconds(seconds) + halfTripMs / 1000;
  return std::trunc(baseDate) + static_cast<double>(total) / SecsPerDay - UtcBias();
}

std::uint32_t TIdCustomTimeUDP::QueryTimeSeconds() {
  TIdExchange exchange(*this, *Pacer);
  exchange.Prepare();
  exchange.Send(TIdBytes());
  const std::uint32_t start = TickCountMs();
  TIdBytes buffer(4, 0);
  std::size_t length = 0;
  // Bytes that no reply filled stay zero; a short reply is used as it comes.
  const bool received = exchange.Receive(buffer, length);
  const std::uint32_t value = TimeReplySeconds(buffer.data(), received ? std::min(length, buffer.size()) : 0);
  HalfTripMs = TickSpan(start, TickCountMs()) / 2;
  return value;
}

TDateTime TIdCustomTimeUDP::QueryTime() {
  const std::uint32_t value = QueryTimeSeconds();
  return TimeReplyToLocal(value, BaseDate, HalfTripMs);
}

void TIdCustomTimeUDP::Shutdown() noexcept {
  TIdUDPClient::Shutdown();
  Pacer->Wake();
}
