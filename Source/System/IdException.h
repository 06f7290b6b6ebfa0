// SPDX-License-Identifier: MIT
#pragma once
#include <exception>
#include <string>

// The program's failures: every one carries a message meant for the user.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const noexcept { return FMessage; }

private:
  std::string FMessage;
};

class EIdException : public Exception {
public:
  using Exception::Exception;
};

// A failed socket call, numbered in the Windows Sockets numbering.
class EIdSocketError : public EIdException {
public:
  EIdSocketError(int errorNumber, std::string message) : EIdException(std::move(message)), FErrorNumber(errorNumber) {}
  int ErrorNumber() const noexcept { return FErrorNumber; }

private:
  int FErrorNumber;
};

class EIdNotASocket : public EIdSocketError {
public:
  using EIdSocketError::EIdSocketError;
};

class EIdSocketHandleError : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdPackageSizeTooBig : public EIdSocketHandleError {
public:
  EIdPackageSizeTooBig() : EIdSocketHandleError("Package Size Too Big.") {}
};

class EIdNotAllBytesSent : public EIdSocketHandleError {
public:
  EIdNotAllBytesSent() : EIdSocketHandleError("Not all bytes sent.") {}
};

class EIdCouldNotBindSocket : public EIdSocketHandleError {
public:
  EIdCouldNotBindSocket() : EIdSocketHandleError("Could not bind socket. Address and port are already in use.") {}
};

class EIdInvalidPortRange : public EIdSocketHandleError {
public:
  EIdInvalidPortRange(int portMin, int portMax)
      : EIdSocketHandleError("Invalid Port Range (" + std::to_string(portMin) + " - " + std::to_string(portMax) + ")") {
  }
};

class EIdCanNotBindPortInRange : public EIdSocketHandleError {
public:
  EIdCanNotBindPortInRange(int portMin, int portMax)
      : EIdSocketHandleError("Can not bind in port range (" + std::to_string(portMin) + " - " +
                             std::to_string(portMax) + ")") {}
};

class EIdStackError : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdStackSetSizeExceeded : public EIdStackError {
public:
  EIdStackSetSizeExceeded() : EIdStackError("Set Size Exceeded.") {}
};

class EIdSilentException : public EIdException {
public:
  using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdSilentException {
public:
  EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
};
