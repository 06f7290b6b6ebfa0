// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace KestrineTest {

// Real time servers run from the programs that scripts/fetch-peers.sh unpacked
// into $KESTRINE_PEERS_DIR, inside the test's private network namespace. Each
// one is ready when its constructor returns (it answered a real query) and is
// killed and reaped by its destructor. Constructors throw std::runtime_error
// when the program is missing or does not come up within 5 s.

// A child process with a private folder for its configuration, pid file and log.
class PeerProcess {
public:
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  pid_t Pid() const { return FPid; }
  std::string Log() const;

protected:
  PeerProcess();
  ~PeerProcess();

  const std::filesystem::path& Folder() const { return FFolder; }
  void Start(const std::vector<std::string>& argv);
  // Sends `request` over UDP until an answer comes back; throws with the log when none does.
  void WaitUntilAnswering(const std::string& address, int port, const std::string& request);

private:
  void Stop() noexcept;

  std::filesystem::path FFolder;
  std::string FName;
  pid_t FPid = -1;
};

// chronyd serving NTP on address:123 at stratum 1, never touching the clock.
class ChronyPeer : public PeerProcess {
public:
  explicit ChronyPeer(const std::string& address = "127.0.0.1");
};

// xinetd offering its internal RFC 868 time service on UDP address:37. It
// ignores source ports below 1024, and right after each answer it reads and
// discards one more datagram if one is already waiting: a query sent within
// about a millisecond of the previous answer (or queued behind another) is
// lost. A peer for single queries a few milliseconds apart, not for load.
class XinetdPeer : public PeerProcess {
public:
  explicit XinetdPeer(const std::string& address = "127.0.0.1");
};

// The folder scripts/fetch-peers.sh unpacked into ($KESTRINE_PEERS_DIR).
std::filesystem::path PeersDir();

// Runs `rdate -p -u host` (an RFC 868 client over UDP) and returns what it
// printed; throws when it fails or is still running after timeoutSeconds.
std::string RunRdate(const std::string& host, int timeoutSeconds);

}  // namespace KestrineTest
