// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// Refusals for the event log, without flooding it: a hostile client can make
// thousands a second, and the Application log would roll over and lose the
// record of real changes. A client's first refusal is written whole; later
// ones, until a minute after the last line about that client, are counted and
// then written as one summary (at its next refusal, at the service's next
// look, or when it stops). So each client gets at most about one line a
// minute. Clients are told apart by their SID. Thread-safe.
class TRefusalLog {
public:
  static constexpr std::int64_t IntervalMs = 60000;
  static constexpr std::size_t MaxClients = 256;

  // The lines to write now for a refusal of `client`, named `who` in the text, because of `why`.
  std::vector<std::wstring> Refused(const std::wstring& client, const std::wstring& who, const std::wstring& why,
                                    std::int64_t nowMs);
  // The summaries due at nowMs; when `all`, every one pending (the service stops).
  std::vector<std::wstring> Due(std::int64_t nowMs, bool all = false);

private:
  struct TClient {
    std::wstring Who;
    std::wstring LastWhy;
    std::int64_t WrittenMs = 0;  // the last line about this client
    std::uint64_t Counted = 0;   // refusals since then, not yet written
  };
  static std::wstring Summary(TClient& client, std::int64_t nowMs);
  void DueLocked(std::int64_t nowMs, bool all, std::vector<std::wstring>& lines);

  std::mutex FLock;
  std::map<std::wstring, TClient> FClients;
};
