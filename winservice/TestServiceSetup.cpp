// SPDX-License-Identifier: MIT
// The tests' clock service. It records each instant it is asked to set instead
// of setting the clock, and takes from its start arguments what a test must
// tell it (services under Wine get no environment from the shell that starts
// them, and every Wine process has the same token, an administrator's):
//   --record PATH          the instants, one line each
//   --log PATH             a copy of each event log entry, "Warning: text", one line each
//   --console-session N    the session at the computer's screen
//   --caller-without SID   a group taken out of each caller's token (S-1-5-32-544: not an administrator)
//   --caller-with SID      a group added (S-1-2-1: logged on at the screen; S-1-5-14: through Remote Desktop)
//   --instances-per-user N
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "Platform/Clock.h"
#include "Platform/Windows/Utf8.h"
#include "ServiceSetup.h"

namespace {

void Append(const std::wstring& path, const std::string& line) {
  static std::mutex writing;  // the pipe's instances serve at the same time
  const std::lock_guard one(writing);
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

class TRecordingServiceClock final : public TServiceClock {
public:
  std::wstring Record;
  std::int64_t Now() override { return Platform::SystemClock().ReadInstant(); }
  DWORD Set(std::int64_t instantMs) override {
    if (Record.empty()) return ERROR_WRITE_FAULT;
    Append(Record, std::to_string(instantMs) + "\n");
    return 0;
  }
};

const char* KindName(TEventKind kind) {
  switch (kind) {
    case TEventKind::Information: return "Information";
    case TEventKind::Warning: return "Warning";
    case TEventKind::Error: return "Error";
  }
  return "Event";
}

}  // namespace

TServiceSetup MakeServiceSetup(DWORD argc, wchar_t** argv) {
  static TRecordingServiceClock clock;
  TServiceSetup setup;
  setup.Clock = &clock;
  std::wstring log;
  std::vector<std::wstring> without, with;
  for (DWORD i = 1; i + 1 < argc; ++i) {
    const std::wstring name = argv[i], value = argv[i + 1];
    if (name == L"--record") clock.Record = value;
    if (name == L"--log") log = value;
    if (name == L"--console-session") {
      const auto session = static_cast<std::uint32_t>(std::stoul(value));
      setup.ConsoleSession = [session] { return session; };
    }
    if (name == L"--caller-without") without.push_back(value);
    if (name == L"--caller-with") with.push_back(value);
    if (name == L"--instances-per-user") setup.InstancesPerUser = static_cast<unsigned>(std::stoul(value));
  }
  if (!log.empty())
    setup.Log = [log](TEventKind kind, const std::wstring& text) {
      LogEvent(kind, text);
      Append(log, std::string(KindName(kind)) + ": " + Platform::Utf8FromWide(text) + "\n");
    };
  if (!without.empty() || !with.empty())
    setup.AdjustCaller = [without, with](ClockPolicy::TCaller& caller) {
      auto& groups = caller.Groups;
      groups.erase(std::remove_if(groups.begin(), groups.end(),
                                  [&](const ClockPolicy::TGroup& group) {
                                    return std::find(without.begin(), without.end(), group.Sid) != without.end();
                                  }),
                   groups.end());
      for (const auto& sid : with) groups.push_back({sid, ClockPolicy::GroupEnabled});
    };
  return setup;
}
