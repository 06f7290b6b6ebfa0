// SPDX-License-Identifier: MIT
#include "RefusalLog.h"

std::vector<std::wstring> TRefusalLog::Refused(const std::wstring& client, const std::wstring& who,
                                               const std::wstring& why, std::int64_t nowMs) {
  const std::lock_guard guard(FLock);
  std::vector<std::wstring> lines;
  if (FClients.count(client) == 0 && FClients.size() >= MaxClients) {
    DueLocked(nowMs, false, lines);  // forgets clients with nothing pending and a minute quiet
    if (FClients.size() >= MaxClients) {
      DueLocked(nowMs, true, lines);
      FClients.clear();
    }
  }
  const auto it = FClients.find(client);
  if (it == FClients.end() || (it->second.Counted == 0 && nowMs - it->second.WrittenMs >= IntervalMs)) {
    FClients[client] = {who, why, nowMs, 0};
    lines.push_back(L"Refused a request of " + who + L": " + why + L". The clock was not set.");
    return lines;
  }
  TClient& known = it->second;
  known.Who = who;
  known.LastWhy = why;
  ++known.Counted;
  if (nowMs - known.WrittenMs >= IntervalMs) lines.push_back(Summary(known, nowMs));
  return lines;
}

std::vector<std::wstring> TRefusalLog::Due(std::int64_t nowMs, bool all) {
  const std::lock_guard guard(FLock);
  std::vector<std::wstring> lines;
  DueLocked(nowMs, all, lines);
  return lines;
}

void TRefusalLog::DueLocked(std::int64_t nowMs, bool all, std::vector<std::wstring>& lines) {
  for (auto it = FClients.begin(); it != FClients.end();) {
    TClient& client = it->second;
    const bool quiet = nowMs - client.WrittenMs >= IntervalMs;
    if (client.Counted != 0 && (all || quiet)) {
      lines.push_back(Summary(client, nowMs));
    } else if (client.Counted == 0 && quiet) {
      it = FClients.erase(it);  // its next refusal is news again
      continue;
    }
    ++it;
  }
}

std::wstring TRefusalLog::Summary(TClient& client, std::int64_t nowMs) {
  const std::wstring count = std::to_wstring(client.Counted);
  const std::wstring line = L"Refused " + count + (client.Counted == 1 ? L" more request of " : L" more requests of ") +
                            client.Who + L" in the " + std::to_wstring((nowMs - client.WrittenMs) / 1000) +
                            L" s since the last entry about it (the last: " + client.LastWhy +
                            L"). The clock was not set.";
  client.Counted = 0;
  client.WrittenMs = nowMs;
  return line;
}
