// SPDX-License-Identifier: MIT
// The two privileged helpers as a hostile caller meets them: every request that
// is not exactly one of theirs is refused with nothing done, whatever the
// environment and descriptors they are started with; nothing is done that the
// system log has not recorded first; and they always end by exiting. Run by
// with_log.sh, whose log sink collects their lines in $KESTRINE_TEST_LOG. The
// caller here is root, whom the policy always serves (policy_journey.sh asks as
// other users). The clock helper is the tests' build, which records instead of
// setting the clock; the port helper is the shipped one.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Fakes/UdpProbe.h"
#include "Platform/Clock.h"
#include "Platform/HelperRequest.h"
#include "Platform/Linux/Helpers.h"
#include "Support/ClockShield.h"
#include "Support/TestHelpers.h"
#include "System/IdException.h"
#include "System/IdStack.h"

using namespace HelperRequest;
using KestrineTest::ReadFile;

namespace {

std::vector<std::uint8_t> Bytes(const TRequest& request) { return {request.begin(), request.end()}; }
std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, std::size_t length) {
  bytes.resize(length);
  return bytes;
}

std::vector<std::uint8_t> Patched(const TRequest& request, std::size_t at, std::uint8_t value) {
  auto bytes = Bytes(request);
  bytes[at] = value;
  return bytes;
}

// How a helper ended and what it said.
struct TRun {
  int Status = -1;  // as waitpid gives it
  std::vector<std::uint8_t> Reply;
  bool ExitedWith(int code) const { return WIFEXITED(Status) && WEXITSTATUS(Status) == code; }
};

enum class TCaller { Ordinary, GoneBeforeReply, ClosedDescriptors, ThreeDescriptors };

// Starts path as a hostile caller may: any environment, standard descriptors
// closed, no descriptor to spare, the socket closed before the reply. Reads the
// reply and closes its end, which also stops a port helper that serves.
TRun Start(const std::string& path, const std::vector<std::uint8_t>& input, const std::vector<std::string>& env = {},
           TCaller caller = TCaller::Ordinary) {
  int pair[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  std::vector<char*> environment;
  for (const auto& entry : env) environment.push_back(const_cast<char*>(entry.c_str()));
  environment.push_back(nullptr);
  char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
  const pid_t child = fork();
  if (child == 0) {
    if (caller == TCaller::ClosedDescriptors) {
      for (int fd = 0; fd <= 2; ++fd) close(fd);
    } else {
      dup2(pair[1], 0);
      dup2(pair[1], 1);
    }
    // Descriptors 0-2 are all the helper may have: none is left for the log.
    const rlimit three{3, 3};
    if (caller == TCaller::ThreeDescriptors) setrlimit(RLIMIT_NOFILE, &three);
    execve(path.c_str(), arguments, environment.data());
    _exit(127);
  }
  close(pair[1]);
  TRun run;
  // Not checked: a helper may refuse before it reads (no log) and be gone already.
  if (!input.empty()) send(pair[0], input.data(), input.size(), MSG_NOSIGNAL);
  shutdown(pair[0], SHUT_WR);
  if (caller == TCaller::GoneBeforeReply) close(pair[0]);
  if (caller == TCaller::Ordinary || caller == TCaller::ThreeDescriptors) {
    // Until the reply is whole or the helper's end closes; a helper that
    // serves keeps its end open, so the reply's length ends the wait too.
    pollfd wait{pair[0], POLLIN, 0};
    std::uint8_t buffer[64];
    ssize_t got = 0;
    while (run.Reply.size() < ReplySize && poll(&wait, 1, 10000) == 1 && (got = recv(pair[0], buffer, 64, 0)) > 0)
      run.Reply.insert(run.Reply.end(), buffer, buffer + got);
  }
  if (caller != TCaller::GoneBeforeReply) close(pair[0]);
  waitpid(child, &run.Status, 0);
  return run;
}

int ReplyCode(const TRun& run) {
  if (run.Reply.size() != ReplySize) return -1;
  TReply reply{};
  std::copy(run.Reply.begin(), run.Reply.end(), reply.begin());
  return ParseReply(reply);
}

// Anything that tries to bend a helper through its environment.
const std::vector<std::string> HostileEnvironment = {
    "LD_PRELOAD=" KESTRINE_PRELOAD_PROBE,  // NOLINT(bugprone-suspicious-missing-comma): joined on purpose
    "LD_LIBRARY_PATH=/nonexistent",
    "QT_PLUGIN_PATH=/tmp",
    "QT_QPA_GENERIC_PLUGINS=probe",
    "MALLOC_CHECK_=3",
    "MALLOC_PERTURB_=165",
    "GLIBC_TUNABLES=glibc.malloc.check=3",
    "TZ=:/etc/passwd",
    "LANG=xx_XX.UTF-8",
    "PATH=/nonexistent"};

class HelperTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* log = std::getenv("KESTRINE_TEST_LOG");
    if (log == nullptr) GTEST_SKIP() << "no system log of the tests' own: run through tests/helpers/with_log.sh";
    FLog = log;
    FLogSeen = ReadFile(FLog).size();
    std::filesystem::remove(KESTRINE_TEST_CLOCK_RECORD);
    std::filesystem::remove(KESTRINE_PRELOAD_MARK);
  }
  static std::string Recorded() { return ReadFile(KESTRINE_TEST_CLOCK_RECORD); }
  // Whether text reaches the log after what earlier calls found, the log
  // sink writing each line a moment after a helper sent it.
  bool Logged(const std::string& text) {
    std::size_t found = std::string::npos;
    KestrineTest::PollUntil(
        [&] {
          found = ReadFile(FLog).find(text, FLogSeen);
          return found != std::string::npos;
        },
        std::chrono::seconds(5));
    if (found == std::string::npos) return false;
    FLogSeen = found + text.size();
    return true;
  }

private:
  std::string FLog;
  std::size_t FLogSeen = 0;
};

const std::string ClockHelper = KESTRINE_TEST_CLOCK_HELPER;
const std::string PortHelper = KESTRINE_HELPER_DIR "/kestrine-port-helper";
constexpr std::int64_t Step = 30000;  // the clock is 30 s behind

// The clock helper set the clock once, Step ahead of the clock as it read then.
void ExpectSetOnceByStep(const std::string& recorded, std::int64_t before, std::int64_t after) {
  ASSERT_FALSE(recorded.empty()) << "the clock was not set";
  const std::int64_t instant = std::stoll(recorded);
  EXPECT_EQ(recorded, std::to_string(instant) + "\n") << "set more than once";
  EXPECT_GE(instant, before + Step);
  EXPECT_LE(instant, after + Step);
}

TEST(HelperRequestTest, RequestsReadBackAsTheyWereMade) {
  for (const std::int64_t step : {-MaxStepMs, std::int64_t{-1}, std::int64_t{0}, Step, MaxStepMs}) {
    const auto request = EncodeClock(step);
    const auto parsed = ParseClock(request.data(), request.size());
    EXPECT_EQ(parsed.Verdict, TVerdict::Accepted) << step;
    EXPECT_EQ(parsed.StepMs, step);
  }
  const auto request = EncodePort({127, 0, 0, 9}, TimePort);
  const auto parsed = ParsePort(request.data(), request.size());
  EXPECT_EQ(parsed.Verdict, TVerdict::Accepted);
  EXPECT_EQ(parsed.Address, (std::array<std::uint8_t, 4>{127, 0, 0, 9}));
  for (const std::int32_t result : {0, EPERM, -1, 0x7fffffff}) EXPECT_EQ(ParseReply(EncodeReply(result)), result);
}

struct TBadRequest {
  const char* What;
  std::vector<std::uint8_t> Input;
  TVerdict Clock;  // the clock helper's verdict on it
  TVerdict Port;   // the port helper's
};

std::vector<TBadRequest> BadRequests() {
  const auto clock = EncodeClock(Step);
  const auto port = EncodePort({127, 0, 0, 1}, TimePort);
  auto trailing = Bytes(clock);
  trailing.push_back('\n');
  auto twice = Bytes(clock);
  twice.insert(twice.end(), clock.begin(), clock.end());
  return {
      {"empty", {}, TVerdict::WrongLength, TVerdict::WrongLength},
      {"short", Cut(Bytes(clock), 15), TVerdict::WrongLength, TVerdict::WrongLength},
      {"a trailing byte", trailing, TVerdict::WrongLength, TVerdict::WrongLength},
      {"two requests", twice, TVerdict::WrongLength, TVerdict::WrongLength},
      {"long", std::vector<std::uint8_t>(70000, 'x'), TVerdict::WrongLength, TVerdict::WrongLength},
      {"text", Bytes("1796904000000\n00"), TVerdict::WrongTag, TVerdict::WrongTag},
      {"the other helper's request", Bytes(port), TVerdict::WrongTag, TVerdict::Accepted},
      {"the version before steps", Patched(clock, 4, 1), TVerdict::WrongVersion, TVerdict::WrongTag},
      {"the first step too far back", Bytes(EncodeClock(-MaxStepMs - 1)), TVerdict::OutOfRange, TVerdict::WrongTag},
      {"the first step too far on", Bytes(EncodeClock(MaxStepMs + 1)), TVerdict::OutOfRange, TVerdict::WrongTag},
      {"the smallest step", Bytes(EncodeClock(INT64_MIN)), TVerdict::OutOfRange, TVerdict::WrongTag},
      {"port 123", Bytes(EncodePort({127, 0, 0, 1}, 123)), TVerdict::WrongTag, TVerdict::WrongPort},
      {"port 0", Bytes(EncodePort({127, 0, 0, 1}, 0)), TVerdict::WrongTag, TVerdict::WrongPort},
      {"bytes after the port", Patched(port, 15, 1), TVerdict::WrongTag, TVerdict::NonZeroPadding},
  };
}

TEST(HelperRequestTest, AnythingButOneWholeRequestIsRefused) {
  for (const auto& c : BadRequests()) {
    EXPECT_EQ(ParseClock(c.Input.data(), c.Input.size()).Verdict, c.Clock) << c.What;
    EXPECT_EQ(ParsePort(c.Input.data(), c.Input.size()).Verdict, c.Port) << c.What;
  }
}

TEST_F(HelperTest, TheClockHelperSetsOneWholeRequestAndRefusesTheRest) {
  const std::int64_t before = Platform::SystemClock().ReadInstant();
  const TRun good = Start(ClockHelper, Bytes(EncodeClock(Step)));
  EXPECT_TRUE(good.ExitedWith(0));
  EXPECT_EQ(ReplyCode(good), 0);
  ExpectSetOnceByStep(Recorded(), before, Platform::SystemClock().ReadInstant());
  // The step, with who asked for it, is in the log.
  EXPECT_TRUE(Logged("root (uid 0) sets the clock to "));
  // A step that lands outside the clock's range from where the clock stands.
  std::filesystem::remove(KESTRINE_TEST_CLOCK_RECORD);
  const TRun beyond = Start(ClockHelper, Bytes(EncodeClock(MaxStepMs)));
  EXPECT_TRUE(beyond.ExitedWith(1));
  EXPECT_EQ(ReplyCode(beyond), EINVAL);
  EXPECT_EQ(Recorded(), "");
  EXPECT_TRUE(Logged("refused a request of root (uid 0): a step longer than any the clock can take"));
  for (const auto& c : BadRequests()) {
    if (c.Clock == TVerdict::Accepted) continue;
    const TRun run = Start(ClockHelper, c.Input);
    EXPECT_TRUE(run.ExitedWith(1)) << c.What << ": status " << run.Status;
    EXPECT_EQ(ReplyCode(run), EINVAL) << c.What;
    EXPECT_EQ(Recorded(), "") << c.What << " set the clock";
    EXPECT_TRUE(Logged("refused a request of root (uid 0): ")) << c.What;
  }
}

// Nothing that the log has not recorded first: not when the caller leaves the
// helper no descriptor to reach it with, not when the log takes no line, not
// when there is none. (A caller can also kill the helper at any moment; what
// it does is in the log before it happens.)
TEST_F(HelperTest, NoStepThatTheLogHasNotRecorded) {
  const TRun few = Start(ClockHelper, Bytes(EncodeClock(Step)), {}, TCaller::ThreeDescriptors);
  EXPECT_EQ(ReplyCode(few), NotLogged);
  EXPECT_EQ(Recorded(), "");
  const TRun fewPort = Start(PortHelper, Bytes(EncodePort({127, 0, 0, 1}, TimePort)), {}, TCaller::ThreeDescriptors);
  EXPECT_EQ(ReplyCode(fewPort), NotLogged);

  // A log that reads nothing: its queue fills, and the helper's line waits in vain.
  std::filesystem::rename("/dev/log", "/dev/log.away");
  const int stuck = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "/dev/log");
  ASSERT_EQ(bind(stuck, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const int filler = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ASSERT_EQ(connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  while (send(filler, "x", 1, 0) == 1) {
  }
  const TRun full = Start(ClockHelper, Bytes(EncodeClock(Step)));
  EXPECT_EQ(ReplyCode(full), NotLogged);
  EXPECT_EQ(Recorded(), "");
  close(filler);
  close(stuck);
  std::filesystem::remove("/dev/log");
  const TRun none = Start(ClockHelper, Bytes(EncodeClock(Step)));
  EXPECT_EQ(ReplyCode(none), NotLogged);
  EXPECT_EQ(Recorded(), "");
  std::filesystem::rename("/dev/log.away", "/dev/log");
}

// The sockets of this process bound to UDP port 37, read from the kernel's table.
int OwnSocketsOnPort37() {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::vector<std::string> inodes;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    if (local.size() > 5 && local.substr(local.size() - 5) == ":0025") inodes.push_back("socket:[" + inode + "]");
  }
  int own = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    const auto target = std::filesystem::read_symlink(entry.path(), ignored).string();
    for (const auto& inode : inodes) own += target == inode;
  }
  return own;
}

std::optional<std::uint32_t> AskTime(KestrineTest::UdpProbe& probe) {
  if (!probe.Send({}, 37)) return std::nullopt;
  const auto reply = probe.Receive(std::chrono::milliseconds(2000));
  if (!reply || reply->size() != 4) return std::nullopt;
  return static_cast<std::uint32_t>((*reply)[0]) << 24 | (*reply)[1] << 16 | (*reply)[2] << 8 | (*reply)[3];
}

// The port helper answers Time requests on port 37 itself, for as long as the
// program holds its connection; the socket never reaches the program, which
// could send from a port below 1024 with it.
TEST_F(HelperTest, ThePortHelperServesTheTimePortAndKeepsItsSocket) {
  const auto served = Platform::Helpers::Run(PortHelper, EncodePort({127, 0, 0, 1}, TimePort), true);
  ASSERT_TRUE(served.Answered);
  ASSERT_EQ(served.Result, 0);
  ASSERT_GE(served.Connection, 0);
  EXPECT_EQ(OwnSocketsOnPort37(), 0);
  {
    KestrineTest::UdpProbe client;
    const auto value = AskTime(client);
    ASSERT_TRUE(value.has_value()) << "no answer on port 37";
    const std::uint32_t now = static_cast<std::uint32_t>(time(nullptr)) + 2208988800u;
    EXPECT_LE(*value - (now - 2), 4u) << "seconds since 1900: " << *value;
    // A source on a service port that answers (here the Time port's own) gets nothing back.
    KestrineTest::UdpProbe echo(7);
    EXPECT_FALSE(AskTime(echo).has_value());
  }
  EXPECT_TRUE(Logged("answers Time requests on UDP port 37 on 127.0.0.1 for root (uid 0)"));

  // While the helper holds the port, and on an address this machine lacks: the system's refusal.
  const TRun busy = Start(PortHelper, Bytes(EncodePort({127, 0, 0, 1}, TimePort)));
  EXPECT_EQ(ReplyCode(busy), EADDRINUSE);
  const TRun foreign = Start(PortHelper, Bytes(EncodePort({192, 0, 2, 1}, TimePort)));
  EXPECT_EQ(ReplyCode(foreign), EADDRNOTAVAIL);

  // The program's end closes: the helper stops and the port is free again.
  Platform::Helpers::EndHelper(served.Connection, served.Pid);
  ASSERT_TRUE(KestrineTest::PollUntil(
      [] {
        const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(37);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool free = bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        close(socket);
        return free;
      },
      std::chrono::seconds(5)));
  EXPECT_TRUE(Logged("stopped answering on UDP port 37 on 127.0.0.1"));

  for (const auto& c : BadRequests()) {
    if (c.Port == TVerdict::Accepted) continue;
    const TRun run = Start(PortHelper, c.Input);
    EXPECT_TRUE(run.ExitedWith(1)) << c.What << ": status " << run.Status;
    EXPECT_EQ(ReplyCode(run), EINVAL) << c.What;
  }
}

TEST_F(HelperTest, AHostileEnvironmentChangesNothingAndLoadsNothing) {
  const std::int64_t before = Platform::SystemClock().ReadInstant();
  const TRun set = Start(ClockHelper, Bytes(EncodeClock(Step)), HostileEnvironment);
  EXPECT_TRUE(set.ExitedWith(0));
  const std::int64_t after = Platform::SystemClock().ReadInstant();
  ExpectSetOnceByStep(Recorded(), before, after);
  const TRun refused = Start(ClockHelper, Bytes(EncodeClock(INT64_MIN)), HostileEnvironment);
  EXPECT_TRUE(refused.ExitedWith(1));
  ExpectSetOnceByStep(Recorded(), before, after);
  const TRun served = Start(PortHelper, Bytes(EncodePort({127, 0, 0, 1}, TimePort)), HostileEnvironment);
  EXPECT_EQ(ReplyCode(served), 0);
  // Linked statically, no loader runs that could take LD_PRELOAD.
  EXPECT_FALSE(std::filesystem::exists(KESTRINE_PRELOAD_MARK));
}

TEST_F(HelperTest, ACallerThatClosesEverythingGetsACleanExit) {
  const std::int64_t before = Platform::SystemClock().ReadInstant();
  for (const std::string& helper : {ClockHelper, PortHelper}) {
    const bool clock = helper == ClockHelper;
    const auto request = clock ? EncodeClock(Step) : EncodePort({127, 0, 0, 1}, TimePort);
    // Standard descriptors closed: the helper reads an empty request from /dev/null.
    EXPECT_TRUE(Start(helper, {}, {}, TCaller::ClosedDescriptors).ExitedWith(1)) << helper;
    // Gone before the reply: the write fails, it does not kill the helper.
    const TRun gone = Start(helper, Bytes(request), {}, TCaller::GoneBeforeReply);
    EXPECT_TRUE(WIFEXITED(gone.Status)) << helper << ": status " << gone.Status;
  }
  ExpectSetOnceByStep(Recorded(), before, Platform::SystemClock().ReadInstant());  // once, for the caller that left
}

// The program's side: with the helpers where a program in build/bin looks for
// them. The real clock helper runs here only inside the namespace that refuses
// every change of the clock.
TEST_F(HelperTest, TheProgramFallsBackToTheHelpersWhereTheSystemRefusesIt) {
  EXPECT_EQ(Platform::Helpers::HelperPath("/usr/bin/kestrine", "x"), "/usr/libexec/kestrine/x");
  EXPECT_EQ(Platform::Helpers::HelperPath("/kestrine", "x"), "/libexec/kestrine/x");

  // Without the right to bind port 37 (a child that gave up its capabilities;
  // as root, the helper it starts has them again), the socket stack's bind goes
  // to the port helper: the socket stands for the helper's until the stack
  // closes it. The child reports what failed by its exit code.
  const pid_t child = fork();
  if (child == 0) {
    const __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    syscall(SYS_capset, &header, none);
    try {
      TIdStack::IncUsage();
      TIdStack& stack = TIdStack::Instance();
      const TIdStackSocketHandle socket = stack.NewSocketHandle(Id_SOCK_DGRAM, 0, Id_IPv4);
      stack.Bind(socket, "127.0.0.1", 37, Id_IPv4);
      std::string ip;
      int port = 0;
      stack.GetSocketName(socket, ip, port);
      if (ip != "127.0.0.1" || port != 37) _exit(2);
      KestrineTest::UdpProbe client;
      if (!AskTime(client)) _exit(3);
      if (OwnSocketsOnPort37() != 0) _exit(4);
      // Any other port keeps the program's own refusal: the helper serves none.
      const TIdStackSocketHandle other = stack.NewSocketHandle(Id_SOCK_DGRAM, 0, Id_IPv4);
      try {
        stack.Bind(other, "127.0.0.1", 123, Id_IPv4);
        _exit(6);
      } catch (const EIdSocketError& error) {
        if (error.ErrorNumber() != 10013) _exit(7);
      }
      stack.Close(other);
      stack.Close(socket);
      KestrineTest::UdpProbe after;
      if (!KestrineTest::PollUntil([&after] { return !AskTime(after).has_value(); }, std::chrono::seconds(5))) _exit(5);
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's step " << WEXITSTATUS(status) << " failed";

  std::string reason;
  if (!KestrineTest::RealClockIsShielded(reason)) GTEST_SKIP() << reason;
  // The kernel refuses the program and then the helper, which holds no right here.
  const auto result = Platform::SystemClock().SetInstant(Platform::SystemClock().ReadInstant());
  EXPECT_EQ(result.ErrorCode, EPERM) << result.ErrorText;
  // A helper that is not there: the program's own refusal.
  EXPECT_EQ(Platform::Helpers::Run("/nonexistent/kestrine-clock-helper", EncodeClock(Step)).Answered, false);
}

}  // namespace
