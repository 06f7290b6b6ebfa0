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
//   clock: tag "KCLK", payload the instant to set, milliseconds since
//          1970-01-01 00:00 UTC, signed 64-bit little-endian;
//   port:  tag "KPRT", payload the IPv4 address to bind (4 bytes, network
//          order), the port (16-bit big-endian, always 37) and two zero bytes.
// A reply is the result as a 32-bit little-endian number: 0 or the system's
// error number (errno on Linux, a Win32 error code on Windows); the port
// helper's reply carries the bound socket as SCM_RIGHTS when it is 0.
namespace HelperRequest {

constexpr std::size_t RequestSize = 16;
constexpr std::size_t ReplySize = 4;
constexpr std::uint32_t Version = 1;
using TRequest = std::array<std::uint8_t, RequestSize>;
using TReply = std::array<std::uint8_t, ReplySize>;

// The instants the clock helper takes: 1970-01-01 up to, not including,
// 2200-01-01 UTC, well inside what the kernel's clock can hold.
constexpr std::int64_t MinInstantMs = 0;
constexpr std::int64_t MaxInstantMs = 7258118400000;
// The one port the port helper binds: the Time protocol's.
constexpr std::uint16_t TimePort = 37;

enum class TVerdict {
  Accepted,
  WrongLength,  // shorter or longer than one request, text after it included
  WrongTag,     // another request's tag, or garbage
  WrongVersion,
  OutOfRange,  // an instant the clock cannot take
  WrongPort,   // any port but 37
  NonZeroPadding,
};
const char* VerdictText(TVerdict verdict);

struct TClockRequest {
  TVerdict Verdict = TVerdict::WrongLength;
  std::int64_t InstantMs = 0;
};
struct TPortRequest {
  TVerdict Verdict = TVerdict::WrongLength;
  std::array<std::uint8_t, 4> Address{};  // network order
  std::uint16_t Port = 0;
};

TRequest EncodeClock(std::int64_t instantMs);
TRequest EncodePort(const std::array<std::uint8_t, 4>& address, std::uint16_t port);
TClockRequest ParseClock(const std::uint8_t* data, std::size_t length);
TPortRequest ParsePort(const std::uint8_t* data, std::size_t length);

TReply EncodeReply(std::int32_t result);
std::int32_t ParseReply(const TReply& reply);

}  // namespace HelperRequest
