// SPDX-License-Identifier: MIT
// Replies per second and latency of the Time protocol server under a bounded
// loopback load, as the program runs it (handlers on the window's thread while a
// 500 ms timer ticks there and a posted event stands for a click every 100 ms),
// with ThreadedEvent true, and two bare single-threaded loops as the ceiling: one
// recvfrom/sendto per datagram, and recvmmsg/sendmmsg batches of up to 64. Each
// round measures all four in turn; the figures are medians over the rounds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>

#include <QApplication>
#include <QTimer>

#include "LoadGenerator.h"
#include "MainThreadPump.h"
#include "Protocols/IdTimeUDPServer.h"
#include "Support/NetnsCheck.h"

namespace {

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The load with the processor time the process spent on everything but the load
// generator itself: the server's cost, whatever threads it runs on.
TLoadResult MeasuredLoad(const TLoadSettings& load, double& serverCpu) {
  const double processBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double generatorBefore = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  TLoadResult result = RunLoad(load);
  const double generator = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - generatorBefore;
  serverCpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBefore - generator;
  return result;
}

using Clock = std::chrono::steady_clock;

// One bare server loop on its own socket for the duration of the load.
template <typename Serve>
TLoadResult BareLoop(TLoadSettings load, Serve serve, double& serverCpu) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(load.Port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::perror("bind");
  timeval wait{0, 100000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::atomic<bool> stop{false};
  std::thread server([&] {
    while (!stop) serve(fd);
  });
  TLoadResult result = MeasuredLoad(load, serverCpu);
  stop = true;
  server.join();
  close(fd);
  return result;
}

// recv, compute, send: nothing else.
void ServeOne(int fd) {
  unsigned char buffer[8192];
  sockaddr_in from{};
  socklen_t length = sizeof from;
  if (recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) < 0) return;
  const std::uint32_t wire = htonl(TIdCustomTimeUDPServer::TimeValue(Now(), UtcBias(), 2.0));
  sendto(fd, &wire, sizeof wire, 0, reinterpret_cast<sockaddr*>(&from), length);
}

// The server with the generator on a thread of its own; the window's thread runs
// Qt's event loop with a 500 ms timer whose lateness is recorded, and handles an
// event posted every 100 ms from another thread (as a click would be), whose
// delay is recorded.
TLoadResult ServerRun(TLoadSettings load, bool threaded, std::vector<double>* tickLateMs,
                      std::vector<double>* clickDelayMs, double& serverCpu) {
  TIdTimeUDPServer server;
  server.ThreadedEvent = threaded;
  server.SetDefaultPort(load.Port);
  server.SetActive(true);
  QTimer tick;
  tick.setInterval(500);
  auto last = Clock::now();
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    if (tickLateMs) tickLateMs->push_back(std::chrono::duration<double, std::milli>(now - last).count() - 500.0);
    last = now;
  });
  tick.start();
  TLoadResult result;
  std::atomic<bool> done{false};
  // An event still queued when this run ends is handled in the next; it is not counted.
  const auto counting = std::make_shared<std::atomic<bool>>(true);
  std::thread generator([&] {
    result = MeasuredLoad(load, serverCpu);
    done = true;
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  std::thread clicker([&] {
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const auto posted = Clock::now();
      QMetaObject::invokeMethod(
          qApp,
          [clickDelayMs, posted, counting] {
            if (clickDelayMs && *counting)
              clickDelayMs->push_back(std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
          },
          Qt::QueuedConnection);
    }
  });
  QApplication::exec();
  generator.join();
  clicker.join();
  *counting = false;
  server.SetActive(false);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  KestrineTest::RequirePrivateNetwork();
  MainThreadPump::Install();
  TLoadSettings load;
  if (argc > 1) load.Duration = std::chrono::milliseconds(std::atoi(argv[1]) * 1000);
  if (argc > 2) load.Sockets = std::atoi(argv[2]);
  if (argc > 3) load.InFlight = std::atoi(argv[3]);
  std::printf("%d sockets x %d in flight, %lld s each\n", load.Sockets, load.InFlight,
              static_cast<long long>(load.Duration.count() / 1000));

  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
  struct TSubject {
    explicit TSubject(const char* name) : Name(name) {}
    const char* Name;
    std::vector<double> Rates, P50, P99, CpuPerReply;
    std::uint64_t Lost = 0, Sent = 0;
    double Cpu = 0;  // the server's processor seconds in the last run
    void Add(const TLoadResult& r) {
      Rates.push_back(r.RepliesPerSecond());
      CpuPerReply.push_back(r.Replies > 0 ? Cpu * 1e6 / static_cast<double>(r.Replies) : 0);
      P50.push_back(Percentile(r.LatencyMicros, 0.5));
      P99.push_back(Percentile(r.LatencyMicros, 0.99));
      Lost += r.Lost;
      Sent += r.Sent;
    }
  };
  TSubject single{"bare loop, recvfrom/sendto"}, batched{"bare loop, recvmmsg/sendmmsg"},
      window{"server, handlers on window thread"}, threaded{"server, ThreadedEvent true"};
  std::vector<double> late, clicks, ratios;
  for (int round = 0; round < rounds; ++round) {
    load.Port = 3737;
    single.Add(BareLoop(load, ServeOne, single.Cpu));
    load.Port = 3738;
    batched.Add(BareLoop(load, ServeTimeBatch, batched.Cpu));
    load.Port = 3739;
    window.Add(ServerRun(load, false, &late, &clicks, window.Cpu));
    load.Port = 3740;
    threaded.Add(ServerRun(load, true, nullptr, nullptr, threaded.Cpu));
    ratios.push_back(window.Rates.back() / batched.Rates.back());
  }
  const double ceiling = Percentile(batched.Rates, 0.5);
  for (const TSubject* s : {&single, &batched, &window, &threaded})
    std::printf(
        "%-34s %9.0f replies/s (%.2f of recvmmsg loop)  server CPU %.2f us/reply  p50 %7.1f us  p99 %8.1f us  "
        "lost %llu of %llu\n",
        s->Name, Percentile(s->Rates, 0.5), Percentile(s->Rates, 0.5) / ceiling, Percentile(s->CpuPerReply, 0.5),
        Percentile(s->P50, 0.5), Percentile(s->P99, 0.5), static_cast<unsigned long long>(s->Lost),
        static_cast<unsigned long long>(s->Sent));
  std::printf("window-thread server / recvmmsg loop, per round: median %.2f, min %.2f, max %.2f (%d rounds)\n",
              Percentile(ratios, 0.5), Percentile(ratios, 0.0), Percentile(ratios, 1.0), rounds);
  std::printf("window's 500 ms tick while loaded: late p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu ticks)\n",
              Percentile(late, 0.5), Percentile(late, 0.99), Percentile(late, 1.0), late.size());
  std::printf(
      "an event posted to the window's thread while loaded: handled after p50 %.2f ms, p99 %.2f ms, max %.2f ms "
      "(%zu)\n",
      Percentile(clicks, 0.5), Percentile(clicks, 0.99), Percentile(clicks, 1.0), clicks.size());
  return 0;
}
