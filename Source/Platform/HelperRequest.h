// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// The requests that the program sends to the small parts that hold a right it
// lacks (on Linux the clock and port helpers, on Windows the clock service),
// and their checks. Each reads exactly one request of this fixed form and
// refuses anything else; the program builds requests only through these.
//
// Every request is 16 bytes: a 4-byte tag, the format's version as a 32-bit
// little-endian number, and 8 bytes of payload.
//   clock: tag "KCLK", payload the step to make, in milliseconds, signed
//          64-bit little-endian: a positive step moves the clock forwards.
//          A step, not an instant, so that a request that waits (for a busy
//          service, for a password) still sets the clock right when it is
//          served: the part that sets the clock adds it to its own reading;
//   port:  tag "KPRT", payload the IPv4 address to bind (4 bytes, network
//          order), the port (16-bit big-endian, always 37) and two zero bytes.
// A reply is the result as a 32-bit little-endian number: 0, the system's
// error number (errno on Linux, a Win32 error code on Windows), or one of the
// refusals below.
namespace HelperRequest {

constexpr std::size_t RequestSize = 16;
constexpr std::size_t ReplySize = 4;
constexpr std::uint32_t Version = 2;
using TRequest = std::array<std::uint8_t, RequestSize>;
using TReply = std::array<std::uint8_t, ReplySize>;

// The instants the clock may be set to: 1970-01-01 up to, not including,
// 2200-01-01 UTC, well inside what the kernel's clock can hold. A step that
// is longer than that span can land nowhere inside it.
constexpr std::int64_t MinInstantMs = 0;
constexpr std::int64_t MaxInstantMs = 7258118400000;
constexpr std::int64_t MaxStepMs = MaxInstantMs;

// Refusals of the parts that hold the right, beside the system's own error
// numbers. Bit 29 marks an application's own code on Windows, which no system
// error carries; errno values are small.
constexpr std::int32_t NotAuthorized = 0x20000001;     // the policy does not serve this caller
constexpr std::int32_t NotAuthenticated = 0x20000002;  // the policy asked for a password that was not given
constexpr std::int32_t NoAuthority = 0x20000003;       // no policy service to ask (Linux: polkit)
constexpr std::int32_t NotLogged = 0x20000004;         // the system log could not record the step first
// The text of one of those refusals, for the sentence "The system clock could
// not be set: ..."; nullptr for a system error number.
const char* RefusalText(std::int32_t result);
// The one port the port helper binds: the Time protocol's.
constexpr std::uint16_t TimePort = 37;

enum class TVerdict {
  Accepted,
  WrongLength,  // shorter or longer than one request, text after it included
  WrongTag,     // another request's tag, or garbage
  WrongVersion,
  OutOfRange,  // a step that no clock reading could take
  WrongPort,   // any port but 37
  NonZeroPadding,
};
const char* VerdictText(TVerdict verdict);

struct TClockRequest {
  TVerdict Verdict = TVerdict::WrongLength;
  std::int64_t StepMs = 0;
};
struct TPortRequest {
  TVerdict Verdict = TVerdict::WrongLength;
  std::array<std::uint8_t, 4> Address{};  // network order
  std::uint16_t Port = 0;
};

TRequest EncodeClock(std::int64_t stepMs);
TRequest EncodePort(const std::array<std::uint8_t, 4>& address, std::uint16_t port);
TClockRequest ParseClock(const std::uint8_t* data, std::size_t length);
TPortRequest ParsePort(const std::uint8_t* data, std::size_t length);
// The instant a step from nowMs lands on; false when it is outside the range above.
bool TargetOf(std::int64_t nowMs, std::int64_t stepMs, std::int64_t& targetMs);

TReply EncodeReply(std::int32_t result);
std::int32_t ParseReply(const TReply& reply);

}  // namespace HelperRequest
