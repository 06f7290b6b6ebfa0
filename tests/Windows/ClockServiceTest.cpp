// The clock service as it runs under the service control manager, against the
// clients it may meet: the program, and slow or hostile ones. The tests' build
// of the service records the instants it is asked to set in a file instead of
// setting the clock.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Clock.h"
#include "Platform/HelperRequest.h"
#include "Platform/Windows/ClockService.h"
#include "Platform/Windows/PipeIo.h"

using namespace HelperRequest;
namespace Service = Platform::ClockService;

namespace {

constexpr std::int64_t Noon2026 = 1796904000000;  // 2026-12-10 12:00 UTC

std::wstring WindowsPath(const std::string& linuxPath) {
  std::wstring path = L"Z:";
  for (const char c : linuxPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

std::wstring RecordPath() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + L"kestrine-clock-service-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
}

std::string Recorded() {
  std::ifstream in{std::filesystem::path(RecordPath())};
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

SERVICE_STATUS StatusOf(SC_HANDLE service) {
  SERVICE_STATUS status{};
  QueryServiceStatus(service, &status);
  return status;
}

bool WaitForState(SC_HANDLE service, DWORD state) {
  for (int i = 0; i < 200; ++i) {
    if (StatusOf(service).dwCurrentState == state) return true;
    Sleep(25);
  }
  return false;
}

// A client as a hostile program may be one: any bytes, or none.
class TRawClient {
public:
  TRawClient() {
    for (int attempt = 0; attempt < 100 && FPipe == INVALID_HANDLE_VALUE; ++attempt) {
      FPipe = CreateFileW(Service::PipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
      if (FPipe == INVALID_HANDLE_VALUE) WaitNamedPipeW(Service::PipeName, 100);
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(FPipe, &mode, nullptr, nullptr);
  }
  ~TRawClient() { Close(); }
  bool Open() const { return FPipe != INVALID_HANDLE_VALUE; }
  void Close() {
    if (FPipe != INVALID_HANDLE_VALUE) CloseHandle(FPipe);
    FPipe = INVALID_HANDLE_VALUE;
  }
  void Send(std::vector<std::uint8_t> bytes) {
    DWORD done = 0;
    Platform::TimedPipeIo(FPipe, true, bytes.data(), static_cast<DWORD>(bytes.size()), 5000, nullptr, done);
  }
  // What the service answers, or nothing when it closes the connection.
  std::vector<std::uint8_t> Reply() {
    std::vector<std::uint8_t> reply(64);
    DWORD done = 0;
    const DWORD result = Platform::TimedPipeIo(FPipe, false, reply.data(), 64, 8000, nullptr, done);
    reply.resize(result == 0 ? done : 0);
    return reply;
  }
  bool StillConnected() const {
    DWORD available = 0;
    return PeekNamedPipe(FPipe, nullptr, 0, nullptr, &available, nullptr) != FALSE;
  }

private:
  HANDLE FPipe = INVALID_HANDLE_VALUE;
};

std::vector<std::uint8_t> Bytes(const TRequest& request) { return {request.begin(), request.end()}; }

class ClockServiceTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    DeleteFileW(RecordPath().c_str());
    Manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(Manager, nullptr);
    const std::wstring binary = L"\"" + WindowsPath(KESTRINE_TEST_SERVICE) + L"\"";
    Handle = CreateServiceW(Manager, Service::ServiceName, Service::DisplayName, SERVICE_ALL_ACCESS,
                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(),
                            nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(Handle, nullptr) << "CreateService: " << GetLastError();
    const std::wstring record = RecordPath();
    const wchar_t* arguments[] = {L"--record", record.c_str()};
    // Wine's service manager may still be starting its own device services,
    // which holds its lock for tens of seconds in a new prefix.
    DWORD error = 0;
    for (int attempt = 0; attempt < 40 && !StartServiceW(Handle, 2, arguments); ++attempt) {
      error = GetLastError();
      if (error == ERROR_SERVICE_ALREADY_RUNNING) break;
      ASSERT_TRUE(error == ERROR_SERVICE_REQUEST_TIMEOUT || error == ERROR_SERVICE_DATABASE_LOCKED) << error;
    }
    ASSERT_TRUE(WaitForState(Handle, SERVICE_RUNNING)) << error;
    ASSERT_TRUE(WaitNamedPipeW(Service::PipeName, 5000));
  }
  static void TearDownTestSuite() {
    SERVICE_STATUS status{};
    ControlService(Handle, SERVICE_CONTROL_STOP, &status);
    WaitForState(Handle, SERVICE_STOPPED);
    DeleteService(Handle);
    CloseServiceHandle(Handle);
    CloseServiceHandle(Manager);
    DeleteFileW(RecordPath().c_str());
  }
  static void ExpectServes() {
    const auto answer = Service::Ask(Noon2026);
    EXPECT_TRUE(answer.Reached);
    EXPECT_EQ(answer.Result.ErrorCode, 0) << answer.Result.ErrorText;
  }
  static inline SC_HANDLE Manager = nullptr;
  static inline SC_HANDLE Handle = nullptr;
};

TEST_F(ClockServiceTest, TheProgramRefusedTheRightSetsTheClockThroughTheService) {
  // Under Wine the program's own SetSystemTime is refused for any step over half a second.
  const std::int64_t target = Platform::SystemClock().ReadInstant() + 60000;
  const auto result = Platform::SystemClock().SetInstant(target);
  EXPECT_EQ(result.ErrorCode, 0) << result.ErrorText;
  EXPECT_EQ(Recorded(), std::to_string(target) + "\n");
}

TEST_F(ClockServiceTest, AnythingButOneRequestClosesTheConnectionWithNothingSet) {
  const std::string before = Recorded();
  auto trailing = Bytes(EncodeClock(Noon2026));
  trailing.push_back(0);
  auto otherTag = Bytes(EncodeClock(Noon2026));
  otherTag[0] = 'X';
  auto otherVersion = Bytes(EncodeClock(Noon2026));
  otherVersion[4] = 9;
  const struct {
    const char* What;
    std::vector<std::vector<std::uint8_t>> Messages;
  } cases[] = {
      {"an empty message", {{}}},
      {"a short one", {std::vector<std::uint8_t>(15, 'K')}},
      {"a byte too many", {trailing}},
      {"a long one", {std::vector<std::uint8_t>(4096, 'x')}},
      {"another tag", {otherTag}},
      {"another version", {otherVersion}},
      {"a negative instant", {Bytes(EncodeClock(-1))}},
      {"an instant past the range", {Bytes(EncodeClock(MaxInstantMs))}},
      {"the port helper's request", {Bytes(EncodePort({127, 0, 0, 1}, 37))}},
      {"nothing at all", {}},
  };
  for (const auto& c : cases) {
    TRawClient client;
    ASSERT_TRUE(client.Open()) << c.What;
    for (const auto& message : c.Messages) client.Send(message);
    EXPECT_TRUE(client.Reply().empty()) << c.What << " got an answer";
    EXPECT_EQ(Recorded(), before) << c.What << " set the clock";
  }
  ExpectServes();
}

TEST_F(ClockServiceTest, SilentAndVanishingClientsDoNotHoldUpTheOthers) {
  std::vector<TRawClient> silent(2);  // each holds an instance until the service's time-out
  {
    TRawClient gone;
    gone.Close();  // connects and leaves at once
    TRawClient half;
    half.Send({'K', 'C', 'L', 'K'});
    half.Close();
  }
  std::atomic<int> served{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < 12; ++i)
    clients.emplace_back([&served] {
      const auto answer = Service::Ask(Noon2026 + 1);
      if (answer.Reached && answer.Result.ErrorCode == 0) ++served;
    });
  for (auto& client : clients) client.join();
  EXPECT_EQ(served, 12);
  for (auto& client : silent) {
    EXPECT_TRUE(client.Reply().empty());  // closed by the service, not answered
    EXPECT_FALSE(client.StillConnected());
  }
  ExpectServes();
}

// Wine keeps the descriptor without enforcing it: here it can only be read back.
TEST_F(ClockServiceTest, ThePipeLetsInSystemAdministratorsAndInteractiveUsers) {
  const HANDLE pipe = CreateFileW(Service::PipeName, READ_CONTROL | FILE_READ_DATA | FILE_WRITE_DATA, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << GetLastError();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                            &descriptor),
            ERROR_SUCCESS);
  wchar_t* text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                   DACL_SECURITY_INFORMATION, &text, nullptr));
  const std::wstring sddl = text;
  LocalFree(text);
  LocalFree(descriptor);
  CloseHandle(pipe);
  EXPECT_NE(sddl.find(L"D:P"), std::wstring::npos) << "inherits: " << std::string(sddl.begin(), sddl.end());
  EXPECT_NE(sddl.find(L";;;SY)"), std::wstring::npos);
  EXPECT_NE(sddl.find(L";;;BA)"), std::wstring::npos);
  EXPECT_NE(sddl.find(L"(A;;0x12018b;;;IU)"), std::wstring::npos) << std::string(sddl.begin(), sddl.end());
  EXPECT_EQ(sddl.find(L";;;WD)"), std::wstring::npos);
  EXPECT_EQ(sddl.find(L";;;AU)"), std::wstring::npos);
}

TEST_F(ClockServiceTest, WithoutTheServiceTheProgramsOwnRefusalStands) {
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(Handle, SERVICE_CONTROL_STOP, &status));
  ASSERT_TRUE(WaitForState(Handle, SERVICE_STOPPED));
  const auto result = Platform::SystemClock().SetInstant(Platform::SystemClock().ReadInstant() + 60000);
  EXPECT_EQ(result.ErrorCode, ERROR_PRIVILEGE_NOT_HELD);
  EXPECT_FALSE(Service::Ask(Noon2026).Reached);
}

}  // namespace
