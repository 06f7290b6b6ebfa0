// Replies per second and latency of the Time protocol server under a bounded
// loopback load, as the program runs it (handlers on the window's thread while a
// 500 ms timer ticks there), with ThreadedEvent true, and a minimal
// single-threaded reference loop as the ceiling. One run measures all three in turn.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "LoadGenerator.h"
#include "MainThreadPump.h"
#include "Protocols/IdTimeUDPServer.h"
#include "Support/NetnsCheck.h"

namespace {

using Clock = std::chrono::steady_clock;

void Report(const char* name, const TLoadResult& r, double baseline) {
  std::printf("%-34s %9.0f replies/s (%.2f of reference)  p50 %7.1f us  p99 %8.1f us  lost %llu of %llu\n", name,
              r.RepliesPerSecond(), baseline > 0 ? r.RepliesPerSecond() / baseline : 1.0,
              Percentile(r.LatencyMicros, 0.5), Percentile(r.LatencyMicros, 0.99),
              static_cast<unsigned long long>(r.Lost), static_cast<unsigned long long>(r.Sent));
}

// recv, compute, send: nothing else.
TLoadResult ReferenceLoop(TLoadSettings load) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(load.Port);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  timeval wait{0, 100000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::atomic<bool> stop{false};
  std::thread server([&] {
    unsigned char buffer[8192];
    while (!stop) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      if (recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) < 0) continue;
      const std::uint32_t value = TIdCustomTimeUDPServer::TimeValue(Now(), UtcBias(), 2.0);
      const std::uint32_t wire = htonl(value);
      sendto(fd, &wire, sizeof wire, 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  });
  const TLoadResult result = RunLoad(load);
  stop = true;
  server.join();
  close(fd);
  return result;
}

// The server with the generator on a thread of its own; the window's thread runs
// Qt's event loop with a 500 ms timer whose lateness is recorded.
TLoadResult ServerRun(TLoadSettings load, bool threaded, std::vector<double>* tickLateMs) {
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
  std::thread generator([&] {
    result = RunLoad(load);
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  QApplication::exec();
  generator.join();
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

  load.Port = 3737;
  const TLoadResult reference = ReferenceLoop(load);
  load.Port = 3738;
  std::vector<double> late;
  const TLoadResult window = ServerRun(load, false, &late);
  load.Port = 3739;
  const TLoadResult threaded = ServerRun(load, true, nullptr);

  const double ceiling = reference.RepliesPerSecond();
  Report("reference loop (1 thread)", reference, ceiling);
  Report("server, handlers on window thread", window, ceiling);
  Report("server, ThreadedEvent true", threaded, ceiling);
  std::printf("window's 500 ms tick while loaded: late p50 %.1f ms, p99 %.1f ms, max %.1f ms (%zu ticks)\n",
              Percentile(late, 0.5), Percentile(late, 0.99), Percentile(late, 1.0), late.size());
  return 0;
}
