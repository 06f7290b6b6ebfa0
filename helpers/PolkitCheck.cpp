// SPDX-License-Identifier: MIT
#include "PolkitCheck.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace Polkit {
namespace {

constexpr std::uint8_t MethodCall = 1, MethodReturn = 2, Error = 3;
// Header fields of a message.
constexpr std::uint8_t FieldPath = 1, FieldInterface = 2, FieldMember = 3, FieldErrorName = 4, FieldReplySerial = 5,
                       FieldDestination = 6, FieldSignature = 8;
constexpr std::uint32_t AllowUserInteraction = 1;

// Marshals in little-endian order; alignment counts from the message's start.
class TWriter {
public:
  std::vector<std::uint8_t> Data;

  void Pad(std::size_t to) {
    while (Data.size() % to != 0) Data.push_back(0);
  }
  void Byte(std::uint8_t value) { Data.push_back(value); }
  void U32(std::uint32_t value) {
    Pad(4);
    for (int i = 0; i < 4; ++i) Data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void U64(std::uint64_t value) {
    Pad(8);
    for (int i = 0; i < 8; ++i) Data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void String(const std::string& text) {
    U32(static_cast<std::uint32_t>(text.size()));
    Data.insert(Data.end(), text.begin(), text.end());
    Data.push_back(0);
  }
  void Signature(const std::string& text) {
    Byte(static_cast<std::uint8_t>(text.size()));
    Data.insert(Data.end(), text.begin(), text.end());
    Data.push_back(0);
  }
  // An array's length counts from its first element, after the padding to it.
  std::size_t BeginArray(std::size_t elementAlignment) {
    U32(0);
    const std::size_t slot = Data.size() - 4;
    Pad(elementAlignment);
    FArrayStart = Data.size();
    return slot;
  }
  void EndArray(std::size_t slot) {
    const auto length = static_cast<std::uint32_t>(Data.size() - FArrayStart);
    for (int i = 0; i < 4; ++i) Data[slot + i] = static_cast<std::uint8_t>(length >> (8 * i));
  }
  void Field(std::uint8_t code, const char* type, const std::string& value) {
    Pad(8);
    Byte(code);
    Signature(type);
    if (std::strcmp(type, "g") == 0)
      Signature(value);
    else
      String(value);
  }

private:
  std::size_t FArrayStart = 0;  // arrays here are never nested
};

std::vector<std::uint8_t> Call(std::uint32_t serial, const char* destination, const char* path, const char* interface,
                               const char* member, const char* signature, const std::vector<std::uint8_t>& body) {
  TWriter message;
  message.Byte('l');
  message.Byte(MethodCall);
  message.Byte(0);
  message.Byte(1);  // the protocol's version
  message.U32(static_cast<std::uint32_t>(body.size()));
  message.U32(serial);
  const std::size_t fields = message.BeginArray(8);
  message.Field(FieldPath, "o", path);
  message.Field(FieldInterface, "s", interface);
  message.Field(FieldMember, "s", member);
  message.Field(FieldDestination, "s", destination);
  if (*signature != '\0') message.Field(FieldSignature, "g", signature);
  message.EndArray(fields);
  message.Pad(8);
  message.Data.insert(message.Data.end(), body.begin(), body.end());
  return message.Data;
}

// Reads a message of either byte order; any step past the end marks it bad.
class TReader {
public:
  TReader(const std::uint8_t* data, std::size_t length, bool bigEndian)
      : FData(data), FLength(length), FBig(bigEndian) {}

  bool Ok() const { return FOk; }
  std::size_t At() const { return FAt; }
  void Skip(std::size_t size) { Take(size); }

  void Pad(std::size_t to) {
    const std::size_t next = (FAt + to - 1) / to * to;
    if (next > FLength) FOk = false;
    FAt = FOk ? next : FLength;
  }
  std::uint8_t Byte() {
    if (!Take(1)) return 0;
    return FData[FAt - 1];
  }
  std::uint64_t Number(std::size_t size) {
    Pad(size);
    if (!Take(size)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
      const std::uint8_t byte = FData[FAt - size + i];
      value = FBig ? (value << 8) | byte : value | static_cast<std::uint64_t>(byte) << (8 * i);
    }
    return value;
  }
  std::string String() { return Text(static_cast<std::size_t>(Number(4))); }
  std::string Signature() { return Text(Byte()); }

  // One header field's value of a basic type; false for any other type.
  bool Value(const std::string& type, std::string& text, std::uint64_t& number) {
    if (type == "s" || type == "o")
      text = String();
    else if (type == "g")
      text = Signature();
    else if (type == "y")
      number = Byte();
    else if (type == "n" || type == "q")
      number = Number(2);
    else if (type == "b" || type == "i" || type == "u" || type == "h")
      number = Number(4);
    else if (type == "x" || type == "t" || type == "d")
      number = Number(8);
    else
      return false;
    return FOk;
  }

private:
  bool Take(std::size_t size) {
    if (!FOk || size > FLength - FAt) {
      FOk = false;
      return false;
    }
    FAt += size;
    return true;
  }
  std::string Text(std::size_t size) {
    if (!Take(size) || !Take(1) || FData[FAt - 1] != 0) {
      FOk = false;
      return {};
    }
    return std::string(reinterpret_cast<const char*>(FData + FAt - 1 - size), size);
  }

  const std::uint8_t* FData;
  std::size_t FLength;
  bool FBig;
  std::size_t FAt = 0;
  bool FOk = true;
};

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

using TDeadline = std::chrono::steady_clock::time_point;

int MsLeft(TDeadline deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool SendAll(int socket, const std::vector<std::uint8_t>& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t now = ::send(socket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (now < 0 && errno == EINTR) continue;
    if (now <= 0) return false;
    sent += static_cast<std::size_t>(now);
  }
  return true;
}

// Appends what arrives before the deadline; false at its end, on an error or at the bus's close.
bool Receive(int socket, std::vector<std::uint8_t>& into, TDeadline deadline, std::string& why) {
  for (;;) {
    pollfd wait{socket, POLLIN, 0};
    const int ready = ::poll(&wait, 1, MsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      why = "no answer in time";
      return false;
    }
    std::uint8_t chunk[4096];
    const ssize_t got = ready < 0 ? -1 : ::recv(socket, chunk, sizeof chunk, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      why = got == 0 ? "the bus closed the connection" : ErrnoText("reading from the bus");
      return false;
    }
    into.insert(into.end(), chunk, chunk + got);
    return true;
  }
}

// The bus's SASL exchange: EXTERNAL, the kernel vouches for our uid.
bool Authenticate(int socket, TDeadline deadline, std::string& why) {
  std::string hex;
  for (const char digit : std::to_string(geteuid())) {
    static constexpr char Digits[] = "0123456789abcdef";
    hex += Digits[static_cast<unsigned char>(digit) >> 4];
    hex += Digits[static_cast<unsigned char>(digit) & 15];
  }
  const std::string hello = std::string(1, '\0') + "AUTH EXTERNAL " + hex + "\r\n";
  if (!SendAll(socket, std::vector<std::uint8_t>(hello.begin(), hello.end()))) {
    why = ErrnoText("writing to the bus");
    return false;
  }
  std::vector<std::uint8_t> line;
  while (line.size() < 2 || line[line.size() - 2] != '\r' || line.back() != '\n') {
    if (line.size() > 512 || !Receive(socket, line, deadline, why)) {
      if (why.empty()) why = "an overlong answer to the bus's authentication";
      return false;
    }
  }
  if (line.size() < 3 || std::memcmp(line.data(), "OK ", 3) != 0) {
    why = "the bus refused the authentication";
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> HelloCall(std::uint32_t serial) {
  return Call(serial, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello", "", {});
}

std::vector<std::uint8_t> CheckCall(std::uint32_t serial, const char* actionId, const TSubject& subject,
                                    bool allowInteraction) {
  // CheckAuthorization(subject (sa{sv}), action_id s, details a{ss}, flags u, cancellation_id s)
  TWriter body;
  body.Pad(8);
  body.String("unix-process");
  const std::size_t details = body.BeginArray(8);
  body.Pad(8);
  body.String("pid");
  body.Signature("u");
  body.U32(subject.Pid);
  body.Pad(8);
  body.String("start-time");
  body.Signature("t");
  body.U64(subject.StartTime);
  body.Pad(8);
  body.String("uid");
  body.Signature("i");
  body.U32(subject.Uid);
  body.EndArray(details);
  body.String(actionId);
  body.EndArray(body.BeginArray(8));  // no details of ours
  body.U32(allowInteraction ? AllowUserInteraction : 0);
  body.String("");
  return Call(serial, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
              "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization", "(sa{sv})sa{ss}us", body.Data);
}

long ReadMessage(const std::uint8_t* data, std::size_t length, TMessage& message) {
  if (length < 16) return 0;
  if ((data[0] != 'l' && data[0] != 'B') || data[3] != 1) return -1;
  TReader fixed(data, 16, data[0] == 'B');
  fixed.Skip(4);  // byte order, type, flags, version
  const std::uint64_t bodyLength = fixed.Number(4);
  fixed.Number(4);  // the serial
  const std::uint64_t fieldsLength = fixed.Number(4);
  if (bodyLength > MaxMessage || fieldsLength > MaxMessage) return -1;
  const std::size_t headerEnd = (16 + fieldsLength + 7) / 8 * 8;
  const std::size_t total = headerEnd + bodyLength;
  if (total > MaxMessage) return -1;
  if (length < total) return 0;

  message = {};
  message.Type = data[1];
  message.BigEndian = data[0] == 'B';
  TReader fields(data, 16 + fieldsLength, message.BigEndian);
  fields.Skip(16);
  while (fields.Ok() && fields.At() < 16 + fieldsLength) {
    fields.Pad(8);
    const std::uint8_t code = fields.Byte();
    const std::string type = fields.Signature();
    std::string text;
    std::uint64_t number = 0;
    if (!fields.Value(type, text, number)) return -1;
    if (code == FieldErrorName && type == "s") message.ErrorName = text;
    if (code == FieldReplySerial && type == "u") message.ReplySerial = static_cast<std::uint32_t>(number);
    if (code == FieldSignature && type == "g") message.Signature = text;
  }
  if (!fields.Ok()) return -1;
  message.Body.assign(data + headerEnd, data + total);
  return static_cast<long>(total);
}

TResult AnswerOf(const TMessage& reply) {
  if (reply.Type == Error) {
    TResult result{TAnswer::Failed, reply.ErrorName};
    if (reply.Signature.rfind('s', 0) == 0) {
      TReader body(reply.Body.data(), reply.Body.size(), reply.BigEndian);
      const std::string text = body.String();
      if (body.Ok()) result.Detail += ": " + text.substr(0, 200);
    }
    if (reply.ErrorName == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        reply.ErrorName == "org.freedesktop.DBus.Error.NameHasNoOwner")
      result.Answer = TAnswer::Unavailable;
    return result;
  }
  if (reply.Type != MethodReturn || reply.Signature != "(bba{ss})" || reply.Body.size() < 8)
    return {TAnswer::Failed, "an answer of another form"};
  TReader body(reply.Body.data(), reply.Body.size(), reply.BigEndian);
  const bool authorized = body.Number(4) != 0;
  const bool challenge = body.Number(4) != 0;
  if (authorized) return {TAnswer::Authorized, {}};
  return {challenge ? TAnswer::Challenge : TAnswer::NotAuthorized, {}};
}

TResult Check(const char* actionId, const TSubject& subject, bool allowInteraction, int timeoutMs,
              const char* busPath) {
  const TDeadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const int bus = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (bus < 0) return {TAnswer::Failed, ErrnoText("socket")};
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, busPath, sizeof address.sun_path - 1);
  if (::connect(bus, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    TResult result{TAnswer::Unavailable, ErrnoText(busPath)};
    ::close(bus);
    return result;
  }
  // Our writes are small; a bus that takes none of them within the time is stuck.
  timeval sendLimit{timeoutMs / 1000, static_cast<suseconds_t>(timeoutMs % 1000) * 1000};
  ::setsockopt(bus, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);

  TResult result{TAnswer::Failed, {}};
  std::vector<std::uint8_t> calls = {'B', 'E', 'G', 'I', 'N', '\r', '\n'};
  const auto hello = HelloCall(1);
  const auto check = CheckCall(2, actionId, subject, allowInteraction);
  calls.insert(calls.end(), hello.begin(), hello.end());
  calls.insert(calls.end(), check.begin(), check.end());
  if (Authenticate(bus, deadline, result.Detail)) {
    if (!SendAll(bus, calls)) result.Detail = ErrnoText("writing to the bus");
    std::vector<std::uint8_t> received;
    while (result.Detail.empty() && Receive(bus, received, deadline, result.Detail)) {
      for (;;) {
        TMessage message;
        const long size = ReadMessage(received.data(), received.size(), message);
        if (size < 0) {
          result.Detail = "a message from the bus that cannot be read";
          break;
        }
        if (size == 0) break;
        received.erase(received.begin(), received.begin() + size);
        // The check's answer, or the refusal of our Hello; the rest (the
        // Hello's own answer, the bus's signals) says nothing to us.
        const bool reply = message.Type == MethodReturn || message.Type == Error;
        if (reply && (message.ReplySerial == 2 || (message.ReplySerial == 1 && message.Type == Error))) {
          ::close(bus);
          return AnswerOf(message);
        }
      }
    }
  }
  ::close(bus);
  if (result.Detail.empty()) result.Detail = "no answer";
  return result;
}

}  // namespace Polkit
