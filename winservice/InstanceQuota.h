// SPDX-License-Identifier: MIT
#pragma once
#include <map>
#include <mutex>
#include <string>

// How many of the pipe's instances one user may hold at once, so that one
// user's silent or hostile clients can never take every instance from the
// others. Keyed by the user's SID; thread-safe, as every instance serves on a
// thread of its own.
class TInstanceQuota {
public:
  explicit TInstanceQuota(unsigned perUser) : FPerUser(perUser == 0 ? 1 : perUser) {}
  // False when the user holds its share already: the connection is to go at once.
  bool Enter(const std::wstring& user);
  void Leave(const std::wstring& user);
  unsigned PerUser() const { return FPerUser; }

private:
  const unsigned FPerUser;
  std::mutex FLock;
  std::map<std::wstring, unsigned> FHeld;
};

// One instance held for the life of a connection.
class TQuotaTicket {
public:
  TQuotaTicket(TInstanceQuota& quota, std::wstring user) : FQuota(quota), FUser(std::move(user)) {
    FHeld = FQuota.Enter(FUser);
  }
  ~TQuotaTicket() {
    if (FHeld) FQuota.Leave(FUser);
  }
  TQuotaTicket(const TQuotaTicket&) = delete;
  TQuotaTicket& operator=(const TQuotaTicket&) = delete;
  bool Held() const { return FHeld; }

private:
  TInstanceQuota& FQuota;
  std::wstring FUser;
  bool FHeld = false;
};
