// The tests' clock service: it records each instant it is asked to set, one
// line each, in the file its start arguments name ("--record PATH"); services
// under Wine get no environment from the shell that starts them.
#include <mutex>
#include <string>

#include "Platform/Clock.h"
#include "ServiceClock.h"

namespace {

class TRecordingServiceClock final : public TServiceClock {
public:
  std::wstring Record;
  std::int64_t Now() override { return Platform::SystemClock().ReadInstant(); }
  DWORD Set(std::int64_t instantMs) override {
    const std::lock_guard one(FWriting);  // the pipe's instances serve at the same time
    const HANDLE file = CreateFileW(Record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    const std::string line = std::to_string(instantMs) + "\n";
    DWORD written = 0;
    const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : ERROR_WRITE_FAULT;
  }

private:
  std::mutex FWriting;
};

}  // namespace

TServiceClock& MakeServiceClock(DWORD argc, wchar_t** argv) {
  static TRecordingServiceClock clock;
  for (DWORD i = 1; i + 1 < argc; ++i)
    if (std::wstring(argv[i]) == L"--record") clock.Record = argv[i + 1];
  return clock;
}
