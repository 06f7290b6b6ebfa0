// SPDX-License-Identifier: MIT
#include "Fakes/FakeUdpServer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "Fakes/FakeSocket.h"

namespace KestrineTest {
namespace {

using Clock = std::chrono::steady_clock;
using FakeSocket::Endpoint;
using FakeSocket::NoSocket;

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
    Endpoint To;
    bool FromOtherPort;
  };

  std::string IP;
  std::uint16_t Port = 0;
  Handler Serve;
  FakeSocket::Handle Socket = NoSocket;
  FakeSocket::Handle OtherSocket = NoSocket;
  std::unique_ptr<FakeSocket::Waiter> Waiter;
  std::atomic<bool> Stopping{false};

  mutable std::mutex Lock;
  mutable std::condition_variable Arrived;
  std::vector<Datagram> Requests;

  // Touched by the serving thread only.
  std::vector<Pending> Scheduled;
  std::uint64_t NextOrder = 0;

  std::thread Thread;

  ~Impl() {
    Waiter.reset();
    FakeSocket::Close(Socket);
    FakeSocket::Close(OtherSocket);
  }

  void Run() {
    using Result = FakeSocket::Waiter::Result;
    std::vector<std::uint8_t> buffer(65536);
    while (!Stopping.load()) {
      SendDueReplies();
      const Result result = Waiter->Wait(PollTimeoutMs());
      if (result == Result::Failed || result == Result::Woken) return;  // only the destructor wakes it
      if (result == Result::Readable) ReceiveOne(buffer);               // a pending socket error is read away as well
    }
  }

  int PollTimeoutMs() const {
    if (Scheduled.empty()) return -1;
    const auto due = std::min_element(Scheduled.begin(), Scheduled.end(), Earlier)->Due;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, 60000));
  }

  static bool Earlier(const Pending& a, const Pending& b) { return a.Due != b.Due ? a.Due < b.Due : a.Order < b.Order; }

  void ReceiveOne(std::vector<std::uint8_t>& buffer) {
    Endpoint from;
    const std::ptrdiff_t length = FakeSocket::ReceiveFrom(Socket, buffer.data(), buffer.size(), from);
    if (length < 0) return;
    Datagram request;
    request.Data.assign(buffer.begin(), buffer.begin() + length);
    request.FromIP = FakeSocket::AddressText(from.Address);
    request.FromPort = from.Port;
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
    for (; it != Scheduled.end() && it->Due <= now; ++it)
      FakeSocket::SendTo(it->FromOtherPort ? OtherSocket : Socket, it->Data.data(), it->Data.size(), it->To);
    Scheduled.erase(Scheduled.begin(), it);
  }
};

FakeUdpServer::FakeUdpServer(const std::string& ip, std::uint16_t port, Handler handler) : FImpl(new Impl) {
  try {
    FImpl->IP = ip;
    FImpl->Serve = std::move(handler);
    FImpl->Socket = FakeSocket::BoundSocket(FakeSocket::MakeEndpoint(ip, port));
    FImpl->Port = FakeSocket::LocalPort(FImpl->Socket);
    FImpl->OtherSocket = FakeSocket::BoundSocket(FakeSocket::MakeEndpoint(ip, 0));
    FImpl->Waiter = std::make_unique<FakeSocket::Waiter>(FImpl->Socket);
    FImpl->Thread = std::thread([impl = FImpl] { impl->Run(); });
  } catch (...) {
    delete FImpl;
    throw;
  }
}

FakeUdpServer::~FakeUdpServer() {
  FImpl->Stopping = true;
  FImpl->Waiter->Wake();
  FImpl->Thread.join();
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
  if (!FakeSocket::SendTo(FImpl->Socket, data.data(), data.size(), FakeSocket::MakeEndpoint(ip, port)))
    FakeSocket::Fail("sendto");
}

NtpStamp NtpNow(double shiftSeconds) {
  const auto sinceEpoch =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch());
  const std::int64_t wholeSeconds = sinceEpoch.count() / 1000000000;
  const std::int64_t nanoseconds = sinceEpoch.count() % 1000000000;
  constexpr long double From1900To1970 = 2208988800.0L;
  const long double seconds = static_cast<long double>(wholeSeconds) + From1900To1970 + nanoseconds / 1e9L +
                              static_cast<long double>(shiftSeconds);
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
