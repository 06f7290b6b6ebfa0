#include "Fakes/FakeUdpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace KestrineTest {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("FakeUdpServer: " + what + ": " + std::strerror(errno));
}

sockaddr_in MakeAddress(const std::string& ip, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1)
    throw std::runtime_error("FakeUdpServer: not an IPv4 address: " + ip);
  return address;
}

int BoundSocket(const std::string& ip, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  const sockaddr_in address = MakeAddress(ip, port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    Fail("bind " + ip + ":" + std::to_string(port));
  }
  return fd;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) Fail("getsockname");
  return ntohs(address.sin_port);
}

void PutBE32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

}  // namespace

struct FakeUdpServer::Impl {
  struct Pending {
    Clock::time_point Due;
    std::uint64_t Order;  // keeps replies with the same due time in the order given
    Bytes Data;
    sockaddr_in To;
    bool FromOtherPort;
  };

  std::string IP;
  std::uint16_t Port = 0;
  Handler Serve;
  int Socket = -1;
  int OtherSocket = -1;
  int WakePipe[2] = {-1, -1};
  std::atomic<bool> Stopping{false};

  mutable std::mutex Lock;
  mutable std::condition_variable Arrived;
  std::vector<Datagram> Requests;

  // Touched by the serving thread only.
  std::vector<Pending> Scheduled;
  std::uint64_t NextOrder = 0;

  std::thread Thread;

  void Run() {
    std::vector<std::uint8_t> buffer(65536);
    while (!Stopping.load()) {
      SendDueReplies();
      pollfd set[2] = {{Socket, POLLIN, 0}, {WakePipe[0], POLLIN, 0}};
      if (::poll(set, 2, PollTimeoutMs()) < 0 && errno != EINTR) return;
      if (set[1].revents != 0) return;  // only the destructor writes to the pipe
      if (set[0].revents != 0) ReceiveOne(buffer);  // a pending socket error is read away as well
    }
  }

  int PollTimeoutMs() const {
    if (Scheduled.empty()) return -1;
    const auto due = std::min_element(Scheduled.begin(), Scheduled.end(), Earlier)->Due;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, 60000));
  }

  static bool Earlier(const Pending& a, const Pending& b) {
    return a.Due != b.Due ? a.Due < b.Due : a.Order < b.Order;
  }

  void ReceiveOne(std::vector<std::uint8_t>& buffer) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t length = ::recvfrom(Socket, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (length < 0) return;
    Datagram request;
    request.Data.assign(buffer.begin(), buffer.begin() + length);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    request.FromIP = text;
    request.FromPort = ntohs(from.sin_port);
    request.Arrived = Clock::now();

    // The handler runs before the request is published, so a test that waits for
    // n requests also sees the replies to them scheduled.
    std::vector<Reply> replies = Serve ? Serve(request) : std::vector<Reply>{};
    const auto now = Clock::now();
    for (auto& reply : replies)
      Scheduled.push_back({now + reply.Delay, NextOrder++, std::move(reply.Data), from, reply.FromOtherPort});
    {
      std::lock_guard guard(Lock);
      Requests.push_back(std::move(request));
    }
    Arrived.notify_all();
  }

  void SendDueReplies() {
    std::sort(Scheduled.begin(), Scheduled.end(), Earlier);
    const auto now = Clock::now();
    auto it = Scheduled.begin();
    for (; it != Scheduled.end() && it->Due <= now; ++it) {
      const int fd = it->FromOtherPort ? OtherSocket : Socket;
      ::sendto(fd, it->Data.data(), it->Data.size(), 0, reinterpret_cast<const sockaddr*>(&it->To), sizeof it->To);
    }
    Scheduled.erase(Scheduled.begin(), it);
  }
};

FakeUdpServer::FakeUdpServer(const std::string& ip, std::uint16_t port, Handler handler) : FImpl(new Impl) {
  try {
    FImpl->IP = ip;
    FImpl->Serve = std::move(handler);
    FImpl->Socket = BoundSocket(ip, port);
    FImpl->Port = LocalPort(FImpl->Socket);
    FImpl->OtherSocket = BoundSocket(ip, 0);
    if (::pipe2(FImpl->WakePipe, O_CLOEXEC) != 0) Fail("pipe2");
    FImpl->Thread = std::thread([impl = FImpl] { impl->Run(); });
  } catch (...) {
    for (const int fd : {FImpl->Socket, FImpl->OtherSocket, FImpl->WakePipe[0], FImpl->WakePipe[1]})
      if (fd >= 0) ::close(fd);
    delete FImpl;
    throw;
  }
}

FakeUdpServer::~FakeUdpServer() {
  FImpl->Stopping = true;
  const char wake = 1;
  while (::write(FImpl->WakePipe[1], &wake, 1) < 0 && errno == EINTR) {
  }
  FImpl->Thread.join();
  for (const int fd : {FImpl->Socket, FImpl->OtherSocket, FImpl->WakePipe[0], FImpl->WakePipe[1]}) ::close(fd);
  delete FImpl;
}

std::uint16_t FakeUdpServer::Port() const { return FImpl->Port; }

const std::string& FakeUdpServer::IP() const { return FImpl->IP; }

std::vector<Datagram> FakeUdpServer::Requests() const {
  std::lock_guard guard(FImpl->Lock);
  return FImpl->Requests;
}

int FakeUdpServer::RequestCount() const {
  std::lock_guard guard(FImpl->Lock);
  return static_cast<int>(FImpl->Requests.size());
}

bool FakeUdpServer::WaitForRequests(int n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(FImpl->Lock);
  return FImpl->Arrived.wait_for(lock, timeout, [&] { return static_cast<int>(FImpl->Requests.size()) >= n; });
}

void FakeUdpServer::SendTo(const Bytes& data, const std::string& ip, std::uint16_t port) {
  const sockaddr_in to = MakeAddress(ip, port);
  if (::sendto(FImpl->Socket, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) !=
      static_cast<ssize_t>(data.size()))
    Fail("sendto");
}

NtpStamp NtpNow(double shiftSeconds) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  constexpr long double From1900To1970 = 2208988800.0L;
  const long double seconds =
      static_cast<long double>(now.tv_sec) + From1900To1970 + now.tv_nsec / 1e9L + static_cast<long double>(shiftSeconds);
  const long double whole = std::floor(seconds);
  NtpStamp stamp;
  // Whole seconds modulo 2^32: after 2036 the count starts again from 0, as on the wire.
  stamp.Seconds = static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole));
  stamp.Fraction = static_cast<std::uint32_t>((seconds - whole) * 4294967296.0L);
  return stamp;
}

Bytes SntpReply(const Bytes& request, NtpStamp transmit, std::uint8_t stratum, std::uint8_t lvm) {
  Bytes reply(48, 0);
  reply[0] = lvm;
  reply[1] = stratum;
  if (request.size() >= 48) std::copy(request.begin() + 40, request.begin() + 48, reply.begin() + 24);
  PutBE32(&reply[32], transmit.Seconds);  // received and sent at the same instant
  PutBE32(&reply[36], transmit.Fraction);
  PutBE32(&reply[40], transmit.Seconds);
  PutBE32(&reply[44], transmit.Fraction);
  return reply;
}

FakeUdpServer::Handler SntpHandler(double shiftSeconds) {
  return [shiftSeconds](const Datagram& request) {
    return std::vector<Reply>{{SntpReply(request.Data, NtpNow(shiftSeconds))}};
  };
}

FakeUdpServer::Handler TimeProtocolHandler(double shiftSeconds) {
  return [shiftSeconds](const Datagram&) {
    Bytes reply(4);
    PutBE32(reply.data(), NtpNow(shiftSeconds).Seconds);
    return std::vector<Reply>{{reply}};
  };
}

FakeUdpServer::Handler SilentHandler() {
  return [](const Datagram&) { return std::vector<Reply>{}; };
}

}  // namespace KestrineTest
