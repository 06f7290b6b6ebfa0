// The two privileged helpers as a hostile caller meets them: every request that
// is not exactly one of theirs is refused with nothing done, whatever the
// environment and descriptors they are started with, and they always end by
// exiting. The clock helper here is the tests' build, which records instead of
// setting the clock; the port helper is the shipped one.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Clock.h"
#include "Platform/HelperRequest.h"
#include "Platform/Linux/Helpers.h"
#include "Support/ClockShield.h"
#include "Support/TestHelpers.h"

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
  int Descriptor = -1;
  bool ExitedWith(int code) const { return WIFEXITED(Status) && WEXITSTATUS(Status) == code; }
};

enum class TCaller { Ordinary, GoneBeforeReply, ClosedDescriptors };

// Starts path as a hostile caller may: any environment, standard descriptors
// closed, the socket closed before the reply.
TRun Start(const std::string& path, const std::vector<std::uint8_t>& input, const std::vector<std::string>& env = {},
           TCaller caller = TCaller::Ordinary) {
  int pair[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (caller == TCaller::ClosedDescriptors) {
    for (int fd = 0; fd <= 2; ++fd) posix_spawn_file_actions_addclose(&actions, fd);
  } else {
    posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 1);
  }
  std::vector<char*> environment;
  for (const auto& entry : env) environment.push_back(const_cast<char*>(entry.c_str()));
  environment.push_back(nullptr);
  char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
  pid_t child = -1;
  EXPECT_EQ(posix_spawn(&child, path.c_str(), &actions, nullptr, arguments, environment.data()), 0) << path;
  posix_spawn_file_actions_destroy(&actions);
  close(pair[1]);
  TRun run;
  if (!input.empty()) {
    EXPECT_EQ(send(pair[0], input.data(), input.size(), MSG_NOSIGNAL), ssize_t(input.size()));
  }
  shutdown(pair[0], SHUT_WR);
  if (caller == TCaller::GoneBeforeReply) close(pair[0]);
  if (caller == TCaller::Ordinary) {
    std::array<std::uint8_t, 64> buffer{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec part{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    for (ssize_t got; (got = recvmsg(pair[0], &message, MSG_CMSG_CLOEXEC)) > 0;) {
      run.Reply.insert(run.Reply.end(), buffer.begin(), buffer.begin() + got);
      if (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr && c->cmsg_type == SCM_RIGHTS)
        std::memcpy(&run.Descriptor, CMSG_DATA(c), sizeof(int));
      message.msg_controllen = sizeof control;
    }
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
    std::filesystem::remove(KESTRINE_TEST_CLOCK_RECORD);
    std::filesystem::remove(KESTRINE_PRELOAD_MARK);
  }
  static std::string Recorded() { return ReadFile(KESTRINE_TEST_CLOCK_RECORD); }
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
  // A step that lands outside the clock's range from where the clock stands.
  std::filesystem::remove(KESTRINE_TEST_CLOCK_RECORD);
  const TRun beyond = Start(ClockHelper, Bytes(EncodeClock(MaxStepMs)));
  EXPECT_TRUE(beyond.ExitedWith(1));
  EXPECT_EQ(ReplyCode(beyond), EINVAL);
  EXPECT_EQ(Recorded(), "");
  for (const auto& c : BadRequests()) {
    if (c.Clock == TVerdict::Accepted) continue;
    std::filesystem::remove(KESTRINE_TEST_CLOCK_RECORD);
    const TRun run = Start(ClockHelper, c.Input);
    EXPECT_TRUE(run.ExitedWith(1)) << c.What << ": status " << run.Status;
    EXPECT_EQ(ReplyCode(run), EINVAL) << c.What;
    EXPECT_EQ(Recorded(), "") << c.What << " set the clock";
  }
}

TEST_F(HelperTest, ThePortHelperBindsOnlyTheTimePortAndHandsTheSocketOver) {
  const TRun good = Start(PortHelper, Bytes(EncodePort({127, 0, 0, 1}, TimePort)));
  EXPECT_TRUE(good.ExitedWith(0));
  EXPECT_EQ(ReplyCode(good), 0);
  ASSERT_GE(good.Descriptor, 0);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  ASSERT_EQ(getsockname(good.Descriptor, reinterpret_cast<sockaddr*>(&bound), &length), 0);
  EXPECT_EQ(ntohs(bound.sin_port), 37);
  EXPECT_EQ(ntohl(bound.sin_addr.s_addr), INADDR_LOOPBACK);
  int type = 0, protocol = 0;
  length = sizeof type;
  getsockopt(good.Descriptor, SOL_SOCKET, SO_TYPE, &type, &length);
  getsockopt(good.Descriptor, SOL_SOCKET, SO_PROTOCOL, &protocol, &length);
  EXPECT_EQ(type, SOCK_DGRAM);
  EXPECT_EQ(protocol, IPPROTO_UDP);

  // While that socket holds the port, and on an address this machine lacks: the system's refusal, no socket.
  const TRun busy = Start(PortHelper, Bytes(EncodePort({127, 0, 0, 1}, TimePort)));
  EXPECT_EQ(ReplyCode(busy), EADDRINUSE);
  EXPECT_LT(busy.Descriptor, 0);
  close(good.Descriptor);
  const TRun foreign = Start(PortHelper, Bytes(EncodePort({192, 0, 2, 1}, TimePort)));
  EXPECT_EQ(ReplyCode(foreign), EADDRNOTAVAIL);
  EXPECT_LT(foreign.Descriptor, 0);

  for (const auto& c : BadRequests()) {
    if (c.Port == TVerdict::Accepted) continue;
    const TRun run = Start(PortHelper, c.Input);
    EXPECT_TRUE(run.ExitedWith(1)) << c.What << ": status " << run.Status;
    EXPECT_EQ(ReplyCode(run), EINVAL) << c.What;
    EXPECT_LT(run.Descriptor, 0) << c.What << " got a socket";
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
  const TRun bound = Start(PortHelper, Bytes(EncodePort({127, 0, 0, 1}, TimePort)), HostileEnvironment);
  EXPECT_EQ(ReplyCode(bound), 0);
  if (bound.Descriptor >= 0) close(bound.Descriptor);
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

  int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(37);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(Platform::Helpers::BindThroughHelper(socket, address), 0);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  ASSERT_EQ(getsockname(socket, reinterpret_cast<sockaddr*>(&bound), &length), 0);
  EXPECT_EQ(ntohs(bound.sin_port), 37);
  close(socket);
  socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  address.sin_port = htons(123);  // never asked for
  EXPECT_EQ(Platform::Helpers::BindThroughHelper(socket, address), -1);
  close(socket);

  std::string reason;
  if (!KestrineTest::RealClockIsShielded(reason)) GTEST_SKIP() << reason;
  // The kernel refuses the program and then the helper, which holds no right here.
  const auto result = Platform::SystemClock().SetInstant(Platform::SystemClock().ReadInstant());
  EXPECT_EQ(result.ErrorCode, EPERM) << result.ErrorText;
  // A helper that is not there: the program's own refusal.
  EXPECT_EQ(Platform::Helpers::Run("/nonexistent/kestrine-clock-helper", EncodeClock(Step)).Answered, false);
}

}  // namespace
