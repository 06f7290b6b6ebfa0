// SPDX-License-Identifier: MIT
#include "Protocols/IdSNTP.h"

#include <cmath>

#include "Protocols/IdExchange.h"

namespace {

constexpr double TwoTo32 = 4294967296.0;

void PutBE32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

std::uint32_t GetBE32(const std::uint8_t* in) {
  return static_cast<std::uint32_t>(in[0]) << 24 | static_cast<std::uint32_t>(in[1]) << 16 |
         static_cast<std::uint32_t>(in[2]) << 8 | in[3];
}

// The low 32 bits of trunc(x); values no integer can hold give 0.
std::uint32_t Low32(double x) {
  if (!std::isfinite(x) || std::fabs(x) >= 9.2e18) return 0;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(x)));
}

}  // namespace

std::array<std::uint8_t, NTPGramSize> PackGram(const TNTPGram& gram) {
  std::array<std::uint8_t, NTPGramSize> bytes{};
  bytes[0] = gram.LeapVersionMode;
  bytes[1] = gram.Stratum;
  bytes[2] = gram.Poll;
  bytes[3] = static_cast<std::uint8_t>(gram.Precision);
  const std::uint32_t words[] = {gram.RootDelay,         gram.RootDispersion,    gram.ReferenceId,
                                 gram.ReferenceSeconds,  gram.ReferenceFraction, gram.OriginateSeconds,
                                 gram.OriginateFraction, gram.ReceiveSeconds,    gram.ReceiveFraction,
                                 gram.TransmitSeconds,   gram.TransmitFraction};
  for (std::size_t i = 0; i < std::size(words); ++i) PutBE32(&bytes[4 + 4 * i], words[i]);
  return bytes;
}

TNTPGram UnpackGram(const std::uint8_t* bytes) {
  TNTPGram gram;
  gram.LeapVersionMode = bytes[0];
  gram.Stratum = bytes[1];
  gram.Poll = bytes[2];
  gram.Precision = static_cast<std::int8_t>(bytes[3]);
  std::uint32_t* words[] = {&gram.RootDelay,         &gram.RootDispersion,    &gram.ReferenceId,
                            &gram.ReferenceSeconds,  &gram.ReferenceFraction, &gram.OriginateSeconds,
                            &gram.OriginateFraction, &gram.ReceiveSeconds,    &gram.ReceiveFraction,
                            &gram.TransmitSeconds,   &gram.TransmitFraction};
  for (std::size_t i = 0; i < std::size(words); ++i) *words[i] = GetBE32(&bytes[4 + 4 * i]);
  return gram;
}

bool RejectReply(const TNTPGram& gram) {
  if ((gram.LeapVersionMode >> 6) == 3) return true;  // server not synchronized
  if (gram.TransmitSeconds == 0 && gram.TransmitFraction == 0) return true;
  return gram.Stratum == 0 || gram.Stratum > 15;
}

TNtpStamp LocalToNtpStamp(TDateTime t) {
  const double v = (t + UtcBias() - NtpEpoch) * SecsPerDay;
  double s = v;
  if (s > TwoTo32) s -= TwoTo32;
  return {Low32(s), Low32((v - std::trunc(v)) * TwoTo32)};
}

TDateTime NtpStampToLocal(std::uint32_t seconds, std::uint32_t fraction) {
  const double ms = std::trunc(fraction / TwoTo32 * 1000.0);  // cut, never rounded up
  return (static_cast<double>(EraSeconds(seconds)) + ms / 1000.0) / SecsPerDay - UtcBias() + NtpEpoch;
}

TDateTime EvaluateSntpReply(const std::uint8_t* data, std::size_t length, TNtpStamp sent, bool& matched) {
  matched = true;
  if (length < NTPGramSize) return 0.0;
  const TNTPGram reply = UnpackGram(data);
  if (reply.OriginateSeconds != sent.Seconds || reply.OriginateFraction != sent.Fraction) {
    matched = false;
    return 0.0;
  }
  if (RejectReply(reply)) return 0.0;
  return NtpStampToLocal(reply.TransmitSeconds, reply.TransmitFraction);
}

TDateTime TIdSNTP::QueryTime() {
  TIdExchange exchange(*this, *Pacer);
  exchange.Prepare();
  TNTPGram request;
  request.LeapVersionMode = 0x1B;  // leap indicator 0, version 3, mode 3 (client)
  const TNtpStamp sent = LocalToNtpStamp(Now());
  request.TransmitSeconds = sent.Seconds;
  request.TransmitFraction = sent.Fraction;
  const auto packed = PackGram(request);
  exchange.Send(TIdBytes(packed.begin(), packed.end()));

  TIdBytes buffer(static_cast<std::size_t>(BufferSize > 0 ? BufferSize : 0));
  std::size_t length = 0;
  while (exchange.Receive(buffer, length)) {
    bool matched = false;
    const TDateTime time = EvaluateSntpReply(buffer.data(), length, sent, matched);
    if (matched) return time;
  }
  return 0.0;
}

void TIdSNTP::Shutdown() noexcept {
  TIdUDPClient::Shutdown();
  Pacer->Wake();
}
