// SPDX-License-Identifier: MIT
#include "Sync/Synchronizer.h"

#include <algorithm>

#include "Platform/Clock.h"
#include "Platform/ClockRight.h"
#include "Sync/NistServers.h"

namespace {

// Drops leading and trailing characters of code 32 and below.
std::string TrimControlChars(const std::string& text) {
  const auto keep = [](char c) { return static_cast<unsigned char>(c) > 32; };
  const auto first = std::find_if(text.begin(), text.end(), keep);
  const auto last = std::find_if(text.rbegin(), text.rend(), keep).base();
  return first < last ? std::string(first, last) : std::string();
}

std::string RefusalMessage(const Platform::TClockSetResult& result, const std::string& program) {
  return "The system clock could not be set: " + result.ErrorText +
         Platform::ClockRightAdvice(result.ErrorCode, program);
}

}  // namespace

TSynchronizer::TSynchronizer(ISyncWindow& window, std::string executablePath)
    : FWindow(window), FExecutablePath(std::move(executablePath)), IdSNTP1(std::make_shared<TIdSNTP>()),
      IdTimeUDP1(std::make_shared<TIdTimeUDP>()), FQueryLink(std::make_shared<TQueryLink>()), FServer(DefaultServer) {
  IdSNTP1->SetHost(FServer);
  IdSNTP1->ReceiveTimeout = SntpReceiveTimeoutMs;
  try {
    IdSNTP1->SetActive(true);  // the client holds its socket from start-up
  } catch (const Exception&) {
    // The first send opens it instead.
  }
  IdTimeUDP1->BaseDate = 2.0;
  IdTimeUDP1->SetHost(FServer);
  IdTimeUDP1->ReceiveTimeout = TimeUDPReceiveTimeoutMs;
  FQueryLink->Window = this;
  FQueryLink->SNTP = IdSNTP1;
  FQueryLink->TimeUDP = IdTimeUDP1;
}

// Its pending and later steps on this thread fail, its waits and its blocked receive end now.
TSynchronizer::~TSynchronizer() { FQueryLink->Detach(); }

void TSynchronizer::StartQuery() {
  if (FQueryBusy) return;
  FQueryBusy = true;
  try {
    TGetTimeClientThread::Start(FQueryLink);
  } catch (const std::exception& error) {
    // Reported like a failed query, in the Server Time box: the tick tries again
    // as after any failure, and no box piles up on another.
    EndFailedQuery(error.what());
  }
}

TServerChoice TSynchronizer::ChooseServer() {
  FWindow.ShowQueryText("Connecting time sever...");
  const TServerRequest request = FWindow.ServerRequest();
  if (request.Custom) {
    const std::string address = TrimControlChars(request.Address);
    if (!address.empty()) {
      FServer = address;
      FUseNistList = false;
      FServerType = request.Protocol;
    }
  }
  if (request.NistList) {
    FServer = DefaultServer;
    FUseNistList = true;
    FServerType = 0;
  }
  FWindow.ShowCurrentServer(FServer);
  return {FServer, FServerType, FUseNistList, FClockGeneration};
}

void TSynchronizer::FallbackServerAsked(const std::string& server) {
  FServer = server;
  FWindow.ShowCurrentServer(FServer);
}

void TSynchronizer::ShowQueryFailure(const std::string& message) { FWindow.ShowQueryText(message); }

void TSynchronizer::QueryFinished(const TQueryOutcome& outcome) {
  if (outcome.Failed) {
    FServerTime = outcome.ServerTime;
    EndFailedQuery("Unknown");
    return;
  }
  if (outcome.Generation != FClockGeneration) {
    // Measured against the clock as it was before it was set: applying it would
    // move the clock a second time. The query counts as not done.
    FQueryBusy = false;
    StartQuery();
    return;
  }
  FServerTime = outcome.ServerTime;
  FClockOffset = outcome.ClockOffset;
  FQueryFailed = false;
  FQueryBusy = false;
}

// The flags first: whatever the window does, the query has ended and the tick retries it.
void TSynchronizer::EndFailedQuery(const std::string& serverTimeText) {
  FQueryFailed = true;
  FQueryBusy = false;
  FWindow.ShowQueryFailed(serverTimeText);
}

void TSynchronizer::AdjustClock() {
  if (FQueryFailed) return;
  // From the clock's instant, never from a local date and time: in the hour that
  // a change to standard time repeats, a local reading names two instants.
  Platform::TClockSource& clock = Platform::Clock();
  const Platform::TInstantMs target = clock.ReadInstant() - FClockOffset * 1000;
  FSettingClock = true;
  const auto result = clock.SetInstant(target);
  if (result.ErrorCode != 0) {
    // Nothing changed: keep the offset and expect no notice of our own.
    FSettingClock = false;
    throw EClockNotSet(RefusalMessage(result, FExecutablePath));
  }
  ++FClockGeneration;  // a query measured against the old clock is stale now
  FLastClockRefusal.clear();
  FClockOffset = 0;
}

void TSynchronizer::ClockChanged() {
  if (!FSettingClock) {
    // Someone else moved the clock: a query under way measured against the old
    // one, so its result is stale like after our own set; measure again.
    ++FClockGeneration;
    StartQuery();
  }
  FSettingClock = false;
}

std::optional<std::int64_t> TSynchronizer::StatusTick() {
  // A running worker owns the results and the Server Time and Difference boxes.
  if (FQueryBusy) return std::nullopt;
  if (FQueryFailed) {
    StartQuery();
    return std::nullopt;
  }
  if (FSyncOnStartPending) {
    // Cleared first: a refused adjustment is reported once, not at every tick.
    FSyncOnStartPending = false;
    AdjustClock();
  }
  return FClockOffset;
}

bool TSynchronizer::RefusalIsNews(const std::string& message, bool userAsked) {
  if (!userAsked && message == FLastClockRefusal) return false;
  FLastClockRefusal = message;
  return true;
}

std::string DifferenceText(std::int64_t offset) {
  if (offset == 0) return "time synchronized";
  return std::to_string(offset) + (offset > 0 ? " seconds ahead" : " seconds behind");
}
