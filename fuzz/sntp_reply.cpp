// SPDX-License-Identifier: MIT
// Arbitrary bytes as an SNTP server's reply, through the decisions a query makes:
// whose datagram it is (sender and originate stamp), whether it is refused, and
// the server's time as local time.
//
// Input: the request's transmit stamp (8 bytes, big-endian), a flag byte (bit 0:
// write that stamp into the reply's originate field, so most inputs are replies
// to this request), the server's host as typed (a length byte, then the text),
// then the datagram.
#include <arpa/inet.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "Protocols/IdExchange.h"
#include "Protocols/IdSNTP.h"
#include "System/IdDottedQuad.h"

using namespace KestrineFuzz;

namespace {

// The server as the user may type it, and a reply that comes from it: the stack
// names the sender in its own dotted-decimal form, which must match.
void CheckSender(const std::string& host) {
  const std::string server = PlainAddress(host);
  if (!ParseDottedQuad(host)) {
    FUZZ_CHECK(server == host);
    return;
  }
  const auto parts = ParseIPv4(host);
  FUZZ_CHECK(parts.has_value());
  in_addr address{};
  std::memcpy(&address, parts->data(), parts->size());  // both in network order
  char text[INET_ADDRSTRLEN] = {};
  FUZZ_CHECK(inet_ntop(AF_INET, &address, text, sizeof text) != nullptr);
  FUZZ_CHECK(IsFromServer(text, 123, server, 123));
  FUZZ_CHECK(!IsFromServer(text, 124, server, 123));
  FUZZ_CHECK(!IsFromServer(std::string(text) + ".", 123, server, 123));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TReader in(data, size);
  TNtpStamp sent;
  sent.Seconds = in.BE32();
  sent.Fraction = in.BE32();
  const bool echo = (in.Byte() & 1) != 0;
  CheckSender(in.Text(40));
  // Exactly the datagram's bytes on the heap: ASan sees any read past them.
  std::vector<std::uint8_t> reply(in.Rest(), in.Rest() + in.RestSize());
  if (echo && reply.size() >= NTPGramSize) {
    TNTPGram gram = UnpackGram(reply.data());
    gram.OriginateSeconds = sent.Seconds;
    gram.OriginateFraction = sent.Fraction;
    const auto packed = PackGram(gram);
    std::copy(packed.begin(), packed.end(), reply.begin());
  }

  bool matched = false;
  const TDateTime time = EvaluateSntpReply(reply.data(), reply.size(), sent, matched);
  if (reply.size() < NTPGramSize) {
    FUZZ_CHECK(matched && time == 0.0);
    return 0;
  }
  const TNTPGram gram = UnpackGram(reply.data());
  const auto packed = PackGram(gram);
  FUZZ_CHECK(std::equal(packed.begin(), packed.end(), reply.begin()));

  const bool echoes = gram.OriginateSeconds == sent.Seconds && gram.OriginateFraction == sent.Fraction;
  FUZZ_CHECK(matched == echoes);
  if (!echoes || RejectReply(gram)) {
    FUZZ_CHECK(time == 0.0);
    return 0;
  }
  // Refused replies alone give 0.0: any accepted stamp lies between 1968 and 2104.
  FUZZ_CHECK(std::isfinite(time) && time != 0.0);
  const double fromEpoch = (time + UtcBias() - NtpEpoch) * SecsPerDay;
  const double stamp = static_cast<double>(EraSeconds(gram.TransmitSeconds)) +
                       std::floor(gram.TransmitFraction / 4294967296.0 * 1000.0) / 1000.0;
  FUZZ_CHECK(std::fabs(fromEpoch - stamp) < 0.001);
  FUZZ_CHECK(EraSeconds(gram.TransmitSeconds) >= 0x80000000LL && EraSeconds(gram.TransmitSeconds) < 0x180000000LL);
  LocalToNtpStamp(time);  // the way back is used for requests; UBSan watches its conversions
  return 0;
}
