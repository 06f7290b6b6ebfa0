// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Asks polkit whether a process may do an action: one CheckAuthorization call
// to polkit's authority on the system bus, made by the helper itself. Not
// through pkcheck: a child the helper starts runs with the caller's uid and no
// capability, so the caller could trace it and forge its exit code; the helper
// itself can be traced by no one. Only the message is built and read here;
// which processes may do what is polkit's to decide.
namespace Polkit {

// The process asked about, as polkit names it: a pid alone could be reused.
struct TSubject {
  std::uint32_t Pid = 0;
  std::uint64_t StartTime = 0;  // field 22 of /proc/<pid>/stat
  std::uint32_t Uid = 0;
};

enum class TAnswer {
  Authorized,
  NotAuthorized,
  Challenge,    // authentication was needed and not given (no agent, dismissed)
  Unavailable,  // no system bus, or no polkit on it
  Failed,       // polkit answered with an error, or not in time
};

struct TResult {
  TAnswer Answer = TAnswer::Failed;
  std::string Detail;  // for the log: the error polkit or the bus gave
};

// Where the system bus listens; the helper reads no environment.
constexpr const char* SystemBusPath = "/var/run/dbus/system_bus_socket";

// Asks on the bus at busPath as this process's effective user. With
// interaction allowed polkit may ask the subject's user for a password through
// the desktop's agent, so a narrowed policy still lets an administrator set
// the clock; timeoutMs bounds the whole conversation.
TResult Check(const char* actionId, const TSubject& subject, bool allowInteraction, int timeoutMs,
              const char* busPath = SystemBusPath);

// The wire, apart from any socket, for the tests and the fuzz target.
std::vector<std::uint8_t> HelloCall(std::uint32_t serial);
std::vector<std::uint8_t> CheckCall(std::uint32_t serial, const char* actionId, const TSubject& subject,
                                    bool allowInteraction);

struct TMessage {
  std::uint8_t Type = 0;  // 2 a method's return, 3 an error, 4 a signal
  std::uint32_t ReplySerial = 0;
  std::string ErrorName;
  std::string Signature;
  std::vector<std::uint8_t> Body;
  bool BigEndian = false;
};
// The size of the first whole message in data, 0 while it is not all there,
// or -1 when it is not a message this reader takes (malformed, or larger than
// MaxMessage). On success message holds it.
constexpr std::size_t MaxMessage = 65536;
long ReadMessage(const std::uint8_t* data, std::size_t length, TMessage& message);
// What a reply to CheckCall says.
TResult AnswerOf(const TMessage& reply);

}  // namespace Polkit
