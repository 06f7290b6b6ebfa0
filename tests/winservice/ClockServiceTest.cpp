// SPDX-License-Identifier: MIT
// The clock service as it runs under the service control manager, against the
// clients it may meet: the program, slow or hostile ones, callers its clock
// policy does not serve, and a process that made its pipe first. The tests'
// build of the service records the instants it is asked to set in a file
// instead of setting the clock, copies its event log entries to another, and
// is told by its start arguments what Wine cannot show: under Wine every
// process has the same administrator's token in session 1.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Clock.h"
#include "Platform/ClockRight.h"
#include "Platform/HelperRequest.h"
#include "Platform/Windows/ClockService.h"
#include "Platform/Windows/PipeIo.h"
#include "Platform/Windows/Utf8.h"

using namespace HelperRequest;
namespace Service = Platform::ClockService;
using Arguments = std::vector<std::wstring>;

namespace {

// A step as the program asks for one; far enough for Wine to refuse the program's own set.
constexpr std::int64_t StepMs = 60000;
// Under Wine every client is the same user: the suite lets one user hold every
// instance, except where the share of one user is the point.
const Arguments EveryInstance = {L"--instances-per-user", L"4"};
const Arguments NotAdministrator = {L"--caller-without", L"S-1-5-32-544"};
const Arguments AtTheScreen = {L"--caller-with", L"S-1-2-1"};

Arguments operator+(Arguments a, const Arguments& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Narrow(const std::wstring& text) { return Platform::Utf8FromWide(text); }

std::wstring WindowsPath(const std::string& linuxPath) {
  std::wstring path = L"Z:";
  for (const char c : linuxPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

std::wstring TempFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + L"kestrine-clock-service-" + name + L"-" + std::to_wstring(GetCurrentProcessId()) +
         L".txt";
}
const std::wstring RecordPath = TempFile(L"record");
const std::wstring LogPath = TempFile(L"log");

std::string Contents(const std::wstring& path) {
  std::ifstream in{std::filesystem::path(path)};
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
std::string Recorded() { return Contents(RecordPath); }
std::string Logged() { return Contents(LogPath); }

std::vector<std::int64_t> RecordedInstants() {
  std::vector<std::int64_t> instants;
  std::istringstream lines(Recorded());
  for (std::int64_t instant = 0; lines >> instant;) instants.push_back(instant);
  return instants;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// DOMAIN\user of this process, as the service names its callers.
std::string OwnAccount() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  BYTE buffer[512];
  DWORD length = 0;
  GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length);
  CloseHandle(token);
  wchar_t user[256], domain[256];
  DWORD userLength = 256, domainLength = 256;
  SID_NAME_USE use;
  LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, user, &userLength, domain, &domainLength,
                    &use);
  return Narrow(std::wstring(domain) + L"\\" + user);
}

// Polls: the service acts on its own thread.
template <typename Condition>
bool Eventually(Condition condition, DWORD timeoutMs = 10000) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!condition()) {
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
  return true;
}

void SetPolicy(const std::optional<std::wstring>& value) {
  if (!value) {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, Service::ParametersKey, Service::PolicyValue);
    return;
  }
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, Service::ParametersKey, Service::PolicyValue, REG_SZ, value->c_str(),
                            static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// The pipe's DACL as a client reads it (Wine keeps it, without enforcing it).
std::string PipeDacl() {
  const HANDLE pipe = CreateFileW(Service::PipeName, READ_CONTROL | FILE_READ_DATA | FILE_WRITE_DATA, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return {};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t* text = nullptr;
  std::string sddl;
  if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                      &descriptor) == ERROR_SUCCESS &&
      ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                           &text, nullptr)) {
    sddl = Narrow(text);
    LocalFree(text);
  }
  LocalFree(descriptor);
  CloseHandle(pipe);  // at once: the service lets a client that said nothing go without a word
  return sddl;
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
  TRawClient(TRawClient&& other) noexcept : FPipe(std::exchange(other.FPipe, INVALID_HANDLE_VALUE)) {}
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

SERVICE_STATUS StatusOf(SC_HANDLE service) {
  SERVICE_STATUS status{};
  QueryServiceStatus(service, &status);
  return status;
}

bool WaitForState(SC_HANDLE service, DWORD state) {
  for (int i = 0; i < 400; ++i) {
    if (StatusOf(service).dwCurrentState == state) return true;
    Sleep(25);
  }
  return false;
}

class ClockServiceTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    DeleteFileW(RecordPath.c_str());
    DeleteFileW(LogPath.c_str());
    Manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(Manager, nullptr);
    const std::wstring binary = L"\"" + WindowsPath(KESTRINE_TEST_SERVICE) + L"\"";
    Handle = CreateServiceW(Manager, Service::ServiceName, Service::DisplayName, SERVICE_ALL_ACCESS,
                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(),
                            nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(Handle, nullptr) << "CreateService: " << GetLastError();
  }
  static void TearDownTestSuite() {
    Stop();
    SetPolicy(std::nullopt);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, Service::ParametersKey);
    DeleteService(Handle);
    CloseServiceHandle(Handle);
    CloseServiceHandle(Manager);
    DeleteFileW(RecordPath.c_str());
    DeleteFileW(LogPath.c_str());
  }
  // Each test starts from the default policy and the suite's arguments.
  void SetUp() override {
    SetPolicy(std::nullopt);
    if (Started != EveryInstance || StatusOf(Handle).dwCurrentState != SERVICE_RUNNING) StartWith(EveryInstance);
  }

  static void Stop() {
    SERVICE_STATUS status{};
    ControlService(Handle, SERVICE_CONTROL_STOP, &status);
    ASSERT_TRUE(WaitForState(Handle, SERVICE_STOPPED));
    Started.reset();
  }
  // Starts the service with these arguments besides its record and log.
  static void StartWith(const Arguments& extra) {
    if (StatusOf(Handle).dwCurrentState != SERVICE_STOPPED) Stop();
    const Arguments all = Arguments{L"--record", RecordPath, L"--log", LogPath} + extra;
    std::vector<const wchar_t*> arguments;
    for (const auto& argument : all) arguments.push_back(argument.c_str());
    // Wine's service manager may still be starting its own device services,
    // which holds its lock for tens of seconds in a new prefix.
    DWORD error = 0;
    for (int attempt = 0;
         attempt < 40 && !StartServiceW(Handle, static_cast<DWORD>(arguments.size()), arguments.data()); ++attempt) {
      error = GetLastError();
      ASSERT_TRUE(error == ERROR_SERVICE_REQUEST_TIMEOUT || error == ERROR_SERVICE_DATABASE_LOCKED) << error;
    }
    ASSERT_TRUE(WaitForState(Handle, SERVICE_RUNNING)) << error;
    ASSERT_TRUE(WaitNamedPipeW(Service::PipeName, 5000));
    Started = extra;
  }

  static void ExpectServes() {
    const auto answer = Service::Ask(StepMs);
    EXPECT_TRUE(answer.Reached);
    EXPECT_EQ(answer.Result.ErrorCode, 0) << answer.Result.ErrorText;
  }

  static inline SC_HANDLE Manager = nullptr;
  static inline SC_HANDLE Handle = nullptr;
  static inline std::optional<Arguments> Started;
};

TEST_F(ClockServiceTest, TheProgramRefusedTheRightSetsTheClockThroughTheService) {
  // Under Wine the program's own SetSystemTime is refused for any step over half a second.
  const std::int64_t before = Platform::SystemClock().ReadInstant();
  const auto result = Platform::SystemClock().SetInstant(before + StepMs);
  const std::int64_t after = Platform::SystemClock().ReadInstant();
  EXPECT_EQ(result.ErrorCode, 0) << result.ErrorText;
  // The service's reading when it served, plus the step the program measured.
  const auto instants = RecordedInstants();
  ASSERT_EQ(instants.size(), 1u) << Recorded();
  EXPECT_GE(instants[0], before + StepMs);
  EXPECT_LE(instants[0], after + StepMs);
  EXPECT_EQ(Count(Logged(), "Information: " + OwnAccount() + " (session 1), an administrator, set the clock to "), 1u)
      << Logged();
}

TEST_F(ClockServiceTest, AnythingButOneRequestClosesTheConnectionWithNothingSet) {
  const std::string before = Recorded();
  auto trailing = Bytes(EncodeClock(StepMs));
  trailing.push_back(0);
  auto otherTag = Bytes(EncodeClock(StepMs));
  otherTag[0] = 'X';
  auto otherVersion = Bytes(EncodeClock(StepMs));
  otherVersion[4] = 1;
  const std::int64_t now = Platform::SystemClock().ReadInstant();
  const struct {
    const char* What;
    std::vector<std::vector<std::uint8_t>> Messages;
  } cases[] = {
      {"an empty message", {{}}},
      {"a short one", {std::vector<std::uint8_t>(15, 'K')}},
      {"a byte too many", {trailing}},
      {"a long one", {std::vector<std::uint8_t>(4096, 'x')}},
      {"another tag", {otherTag}},
      {"the version before steps", {otherVersion}},
      {"a step longer than any", {Bytes(EncodeClock(MaxStepMs + 1))}},
      {"a step back longer than any", {Bytes(EncodeClock(-MaxStepMs - 1))}},
      {"a step to before 1970", {Bytes(EncodeClock(-now - 1000))}},
      {"a step to 2200", {Bytes(EncodeClock(MaxInstantMs - now + 1000))}},
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
      const auto answer = Service::Ask(StepMs);
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

// The program measures its step, then may wait for a free instance: the
// service must add the step to its own reading when it serves, not to one
// taken before the wait.
TEST_F(ClockServiceTest, ARequestThatWaitsForAnInstanceStepsFromTheReadingWhenServed) {
  const std::size_t recordedBefore = RecordedInstants().size();
  std::vector<TRawClient> silent(4);  // every instance, until the service lets them go
  for (const auto& client : silent) ASSERT_TRUE(client.Open());
  const std::int64_t before = Platform::SystemClock().ReadInstant();
  const auto result = Platform::SystemClock().SetInstant(before + StepMs);
  const std::int64_t after = Platform::SystemClock().ReadInstant();
  ASSERT_EQ(result.ErrorCode, 0) << result.ErrorText;
  ASSERT_GE(after - before, 500) << "the request did not wait behind the silent clients";
  const auto instants = RecordedInstants();
  ASSERT_EQ(instants.size(), recordedBefore + 1);
  // Served just before the answer came: within a quarter of a second of it, not a wait behind.
  EXPECT_GE(instants.back(), after + StepMs - 250)
      << "the instant is " << after + StepMs - instants.back() << " ms behind the service's reading plus the step";
  EXPECT_LE(instants.back(), after + StepMs);
}

// Under Wine every client is the same user: of its four silent clients two
// keep their instances and two go at once, and so does its next connection.
TEST_F(ClockServiceTest, OneUserHoldsOnlyItsShareOfTheInstances) {
  StartWith({});
  std::vector<TRawClient> silent(4);
  const auto connected = [&] {
    return std::count_if(silent.begin(), silent.end(),
                         [](const TRawClient& client) { return client.StillConnected(); });
  };
  ASSERT_TRUE(Eventually([&] { return connected() == 2; }, 5000)) << connected() << " connections held";
  for (int i = 0; i < 3; ++i) {
    TRawClient more;
    ASSERT_TRUE(more.Open());
    more.Send(Bytes(EncodeClock(StepMs)));
    EXPECT_TRUE(more.Reply().empty()) << "a connection beyond the share was served";
  }
  EXPECT_EQ(connected(), 2) << "the share went before the connections beyond it";
  for (auto& client : silent) client.Close();
  EXPECT_TRUE(Eventually([] { return Service::Ask(StepMs).Reached; })) << "the share did not come back";
  // One entry for the five, their count summarised later.
  EXPECT_EQ(Count(Logged(), "holds 2 of the pipe's 4 instances already"), 1u) << Logged();
}

TEST_F(ClockServiceTest, TheClockPolicyDecidesWhomTheServiceServes) {
  const struct {
    const char* What;
    std::optional<std::wstring> Policy;
    Arguments Caller;
    bool Served;
  } cases[] = {
      {"the user at the screen", std::nullopt, NotAdministrator + AtTheScreen, true},
      {"a user of another session", std::nullopt,
       NotAdministrator + AtTheScreen + Arguments{L"--console-session", L"2"}, false},
      {"a Remote Desktop user", std::nullopt, NotAdministrator + Arguments{L"--caller-with", L"S-1-5-14"}, false},
      {"a user without CONSOLE LOGON", std::nullopt, NotAdministrator, false},
      {"a user without INTERACTIVE", L"interactive", NotAdministrator + Arguments{L"--caller-without", L"S-1-5-4"},
       false},
      {"an administrator of another session", std::nullopt, Arguments{L"--console-session", L"2"}, true},
      {"a service account", L"interactive", NotAdministrator + Arguments{L"--caller-with", L"S-1-5-6"}, false},
      {"a Remote Desktop user, all interactive users served", L"interactive",
       NotAdministrator + Arguments{L"--caller-with", L"S-1-5-14"}, true},
      {"the user at the screen, administrators only", L"administrators", NotAdministrator + AtTheScreen, false},
      {"an administrator, administrators only", L"administrators", {}, true},
      {"a user of another session, an unknown value", L"everyone",
       NotAdministrator + AtTheScreen + Arguments{L"--console-session", L"2"}, false},
  };
  const std::string account = OwnAccount();
  for (const auto& c : cases) {
    Stop();  // so that only the new service reads the value
    SetPolicy(c.Policy);
    StartWith(EveryInstance + c.Caller);
    const std::size_t recorded = RecordedInstants().size();
    const std::size_t refusals = Count(Logged(), "Warning: Refused a request of " + account);
    const auto result = Platform::SystemClock().SetInstant(Platform::SystemClock().ReadInstant() + StepMs);
    if (c.Served) {
      EXPECT_EQ(result.ErrorCode, 0) << c.What << ": " << result.ErrorText;
      EXPECT_EQ(RecordedInstants().size(), recorded + 1) << c.What;
      continue;
    }
    // Refused before anything else, and the program says why.
    EXPECT_EQ(result.ErrorCode, NotAuthorized) << c.What << ": " << result.ErrorText;
    EXPECT_EQ(result.ErrorText, RefusalText(NotAuthorized)) << c.What;
    EXPECT_EQ(Platform::ClockRightAdvice(result.ErrorCode, ""), "") << c.What << ": no advice to install the service";
    EXPECT_EQ(RecordedInstants().size(), recorded) << c.What;
    EXPECT_EQ(Count(Logged(), "Warning: Refused a request of " + account), refusals + 1) << c.What << "\n" << Logged();
  }
  EXPECT_EQ(Count(Logged(),
                  "Warning: The value ClockPolicy \"everyone\" under "
                  "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KestrineClock\\Parameters is "
                  "none of console, interactive and administrators: the clock service keeps to \"console\""),
            1u)
      << Logged();
}

// The value is watched: a change applies to the next request and to the pipe's
// descriptor, without a restart. Wine keeps the descriptor without enforcing it.
TEST_F(ClockServiceTest, AChangedPolicyTakesEffectAtOnce) {
  StartWith(EveryInstance + NotAdministrator + AtTheScreen + Arguments{L"--console-session", L"2"});
  const std::string always = "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;RC;;;OW)";
  EXPECT_EQ(PipeDacl(), always + "(A;;0x12018b;;;S-1-2-1)") << "the console's users only, by default";
  const struct {
    std::optional<std::wstring> Policy;
    std::string Dacl;
    bool Served;
  } steps[] = {
      {L"interactive", always + "(A;;0x12018b;;;IU)", true},
      {L"administrators", always, false},
      {L"Interactive", always + "(A;;0x12018b;;;IU)", true},
      {std::nullopt, always + "(A;;0x12018b;;;S-1-2-1)", false},
  };
  for (const auto& step : steps) {
    SetPolicy(step.Policy);
    EXPECT_TRUE(Eventually([&] { return PipeDacl() == step.Dacl; })) << step.Dacl << " is " << PipeDacl();
    const auto answer = Service::Ask(StepMs);
    ASSERT_TRUE(answer.Reached);
    EXPECT_EQ(answer.Result.ErrorCode, step.Served ? 0 : NotAuthorized) << step.Dacl;
  }
  for (const char* policy : {"interactive", "administrators", "console"})
    EXPECT_NE(Logged().find(std::string("Information: The clock policy is \"") + policy + "\""), std::string::npos)
        << policy;
}

TEST_F(ClockServiceTest, AFloodOfRefusalsWritesOneEntryAndASummary) {
  StartWith(EveryInstance);  // a service that has refused no one yet
  const std::size_t before = Count(Logged(), "Refused a request of ");
  auto otherTag = Bytes(EncodeClock(StepMs));
  otherTag[0] = 'X';
  for (int i = 0; i < 50; ++i) {
    TRawClient client;
    ASSERT_TRUE(client.Open());
    client.Send(otherTag);
    EXPECT_TRUE(client.Reply().empty());
  }
  Stop();  // the summary of what was counted, written as the service stops
  const std::string log = Logged();
  EXPECT_EQ(Count(log, "Refused a request of "), before + 1) << log;
  EXPECT_NE(log.find("Warning: Refused 49 more requests of " + OwnAccount() + " (session 1) in the "),
            std::string::npos)
      << log;
}

// A process of the pipe's name that answers "set" to anything.
class TSquatter {
public:
  TSquatter() {
    FPipe =
        CreateNamedPipeW(Service::PipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4, 16, 0, nullptr);
    FThread = std::thread([this] { Serve(); });
  }
  ~TSquatter() {
    SetEvent(FStop);
    FThread.join();
    CloseHandle(FPipe);
    CloseHandle(FStop);
  }
  bool Open() const { return FPipe != INVALID_HANDLE_VALUE; }
  std::atomic<int> Requests{0};

private:
  void Serve() {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    while (WaitForSingleObject(FStop, 0) == WAIT_TIMEOUT) {
      ResetEvent(overlapped.hEvent);
      if (!ConnectNamedPipe(FPipe, &overlapped) && GetLastError() == ERROR_IO_PENDING) {
        const HANDLE waits[] = {overlapped.hEvent, FStop};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
          CancelIoEx(FPipe, &overlapped);
          DWORD ignored = 0;
          GetOverlappedResult(FPipe, &overlapped, &ignored, TRUE);
          break;
        }
      }
      std::uint8_t request[64];
      DWORD done = 0;
      if (Platform::TimedPipeIo(FPipe, false, request, sizeof request, 2000, FStop, done) == 0) {
        ++Requests;
        auto reply = EncodeReply(0);
        Platform::TimedPipeIo(FPipe, true, reply.data(), 4, 2000, FStop, done);
        Platform::TimedPipeIo(FPipe, false, request, 1, 2000, FStop, done);
      }
      DisconnectNamedPipe(FPipe);
    }
    CloseHandle(overlapped.hEvent);
  }
  HANDLE FPipe = INVALID_HANDLE_VALUE;
  HANDLE FStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread FThread;
};

// At boot, after a crash or during an update, another process may make the
// pipe before the service: the program believes only the service's process.
TEST_F(ClockServiceTest, AServerThatIsNotTheServiceIsNotBelieved) {
  Stop();
  const std::string before = Recorded();
  TSquatter squatter;
  ASSERT_TRUE(squatter.Open()) << GetLastError();
  const auto result = Platform::SystemClock().SetInstant(Platform::SystemClock().ReadInstant() + StepMs);
  EXPECT_EQ(result.ErrorCode, ERROR_PRIVILEGE_NOT_HELD) << "the squatter's answer was believed: " << result.ErrorText;
  EXPECT_FALSE(Service::Ask(StepMs).Reached);
  EXPECT_EQ(squatter.Requests, 0) << "the request went to a process that is not the service";
  EXPECT_EQ(Recorded(), before);
}

TEST_F(ClockServiceTest, WithoutTheServiceTheProgramsOwnRefusalStands) {
  Stop();
  const auto result = Platform::SystemClock().SetInstant(Platform::SystemClock().ReadInstant() + StepMs);
  EXPECT_EQ(result.ErrorCode, ERROR_PRIVILEGE_NOT_HELD);
  EXPECT_FALSE(Service::Ask(StepMs).Reached);
}

}  // namespace
