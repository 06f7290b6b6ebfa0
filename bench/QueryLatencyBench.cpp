// SPDX-License-Identifier: MIT
// One SNTP query through the controller ("Refresh" until the worker has ended)
// against a loopback chronyd, beside a bare UDP round trip to the same server,
// interleaved in one run so that both see the same machine load.
//
// Run inside a private network namespace; the command is in docs/benchmarks.md.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>

#include "Core/IdSync.h"
#include "MainWindow.h"
#include "Protocols/IdRequestPacer.h"
#include "Support/NetnsCheck.h"
#include "Support/Peers.h"
#include "Sync/GetTimeClientThread.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

double BareRoundTrip(int socket, const sockaddr_in& server) {
  unsigned char request[48] = {0x1B};
  unsigned char reply[512];
  const auto start = Clock::now();
  sendto(socket, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&server), sizeof server);
  if (recv(socket, reply, sizeof reply, 0) < 48) return -1;
  return Micros(Clock::now() - start);
}

// The window's thread polls for the end of the query but yields its core, as
// only two cores are shared by it, the worker and chronyd.
void PumpUntilIdle() {
  while (TGetTimeClientThread::RunningCount() > 0) {
    QCoreApplication::processEvents();
    IdSync::RunQueued();
    std::this_thread::yield();
  }
}

// "Refresh", until the worker has handed back its result and ended.
double ControllerQuery(TMainWindow& window) {
  const auto start = Clock::now();
  window.Form().TeButton2Click();
  PumpUntilIdle();
  return window.Text(TControl::TeSEdit1) == "Unknown" ? -1 : Micros(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  KestrineTest::RequirePrivateNetwork();
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  KestrineTest::ChronyPeer chrony("127.0.0.1");
  TIdRequestPacer::Default().SetMinInterval(std::chrono::milliseconds(0));  // chronyd on loopback does not mind

  const int bare = socket(AF_INET, SOCK_DGRAM, 0);
  timeval timeout{2, 0};
  setsockopt(bare, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(123);
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  TMainWindow window(TFormOptions{});
  window.Control<QLineEdit>(TControl::edtServer)->setText(QStringLiteral("127.0.0.1"));
  window.Control<QAbstractButton>(TControl::ckCustomServer)->click();
  PumpUntilIdle();  // the start-up query

  std::vector<double> bareTimes, queryTimes;
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {
    const double b = BareRoundTrip(bare, server);
    const double q = ControllerQuery(window);
    if (b < 0 || q < 0) {
      ++failures;
      continue;
    }
    bareTimes.push_back(b);
    queryTimes.push_back(q);
  }
  close(bare);
  if (bareTimes.empty()) {
    std::fprintf(stderr, "no successful round\n");
    return 1;
  }
  const double bareMedian = Median(bareTimes), queryMedian = Median(queryTimes);
  std::printf("rounds %zu (failed %d)\n", bareTimes.size(), failures);
  std::printf("bare UDP round trip:  median %.1f us, p90 %.1f us\n", bareMedian, Percentile(bareTimes, 0.9));
  std::printf("controller SNTP query: median %.1f us, p90 %.1f us\n", queryMedian, Percentile(queryTimes, 0.9));
  std::printf("difference of medians %.1f us, ratio %.1f\n", queryMedian - bareMedian, queryMedian / bareMedian);
  return 0;
}
