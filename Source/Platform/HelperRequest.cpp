// SPDX-License-Identifier: MIT
#include "Platform/HelperRequest.h"

#include <cstring>

namespace HelperRequest {
namespace {

constexpr char ClockTag[4] = {'K', 'C', 'L', 'K'};
constexpr char PortTag[4] = {'K', 'P', 'R', 'T'};

void PutLittle(std::uint8_t* out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLittle(const std::uint8_t* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(in[i]) << (8 * i);
  return value;
}

TRequest Header(const char (&tag)[4]) {
  TRequest request{};
  std::memcpy(request.data(), tag, 4);
  PutLittle(request.data() + 4, Version, 4);
  return request;
}

TVerdict CheckHeader(const std::uint8_t* data, std::size_t length, const char (&tag)[4]) {
  if (data == nullptr || length != RequestSize) return TVerdict::WrongLength;
  if (std::memcmp(data, tag, 4) != 0) return TVerdict::WrongTag;
  if (GetLittle(data + 4, 4) != Version) return TVerdict::WrongVersion;
  return TVerdict::Accepted;
}

}  // namespace

const char* VerdictText(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::Accepted: return "accepted";
    case TVerdict::WrongLength: return "not one request of 16 bytes";
    case TVerdict::WrongTag: return "not a request of this helper";
    case TVerdict::WrongVersion: return "a request of another version";
    case TVerdict::OutOfRange: return "a step longer than any the clock can take";
    case TVerdict::WrongPort: return "a port other than 37";
    case TVerdict::NonZeroPadding: return "bytes after the port";
  }
  return "unknown";
}

const char* RefusalText(std::int32_t result) {
  switch (result) {
    case NotAuthorized:
      return "Kestrine may set the clock only for the user at this computer's screen; an administrator can allow more, "
             "as its README says";
    case NotAuthenticated: return "setting the clock needs an administrator's password, and none was given";
    case NoAuthority:
      return "only an administrator may set the clock here, as polkit is not running; install the package polkitd to "
             "let the user at this computer's screen set it";
    case NotLogged: return "the system log could not record the change, so it was not made";
    default: return nullptr;
  }
}

TRequest EncodeClock(std::int64_t stepMs) {
  TRequest request = Header(ClockTag);
  PutLittle(request.data() + 8, static_cast<std::uint64_t>(stepMs), 8);
  return request;
}

TRequest EncodePort(const std::array<std::uint8_t, 4>& address, std::uint16_t port) {
  TRequest request = Header(PortTag);
  std::memcpy(request.data() + 8, address.data(), 4);
  request[12] = static_cast<std::uint8_t>(port >> 8);
  request[13] = static_cast<std::uint8_t>(port);
  return request;
}

TClockRequest ParseClock(const std::uint8_t* data, std::size_t length) {
  TClockRequest request;
  request.Verdict = CheckHeader(data, length, ClockTag);
  if (request.Verdict != TVerdict::Accepted) return request;
  request.StepMs = static_cast<std::int64_t>(GetLittle(data + 8, 8));
  if (request.StepMs < -MaxStepMs || request.StepMs > MaxStepMs) request.Verdict = TVerdict::OutOfRange;
  return request;
}

bool TargetOf(std::int64_t nowMs, std::int64_t stepMs, std::int64_t& targetMs) {
  if (nowMs < MinInstantMs - MaxStepMs || nowMs > MaxInstantMs + MaxStepMs || stepMs < -MaxStepMs || stepMs > MaxStepMs)
    return false;
  targetMs = nowMs + stepMs;
  return targetMs >= MinInstantMs && targetMs < MaxInstantMs;
}

TPortRequest ParsePort(const std::uint8_t* data, std::size_t length) {
  TPortRequest request;
  request.Verdict = CheckHeader(data, length, PortTag);
  if (request.Verdict != TVerdict::Accepted) return request;
  std::memcpy(request.Address.data(), data + 8, 4);
  request.Port = static_cast<std::uint16_t>((data[12] << 8) | data[13]);
  if (request.Port != TimePort)
    request.Verdict = TVerdict::WrongPort;
  else if (data[14] != 0 || data[15] != 0)
    request.Verdict = TVerdict::NonZeroPadding;
  return request;
}

TReply EncodeReply(std::int32_t result) {
  TReply reply{};
  PutLittle(reply.data(), static_cast<std::uint32_t>(result), 4);
  return reply;
}

std::int32_t ParseReply(const TReply& reply) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(GetLittle(reply.data(), 4)));
}

}  // namespace HelperRequest
