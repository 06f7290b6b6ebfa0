// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "Policy.h"

// What both privileged helpers do around their one request. They are started
// by an unprivileged program, maybe a hostile one, so they trust nothing they
// inherit: descriptors, environment, signal dispositions, capabilities, and
// serve only whom the policy (Policy.h) allows.
namespace Helper {

// First thing in main: standard descriptors open (on /dev/null where they were
// closed), every other descriptor closed, no environment, SIGPIPE ignored,
// capabilities no process may regain.
void Harden();
// True when the only argument is --version: the helper then prints its name and
// version. Every other argument is ignored.
bool VersionAsked(int argc, char** argv, const char* name);

// A helper's start: hardened, every capability but its own dropped, connected
// to the system log, the caller known. False after --version: the helper then
// ends. A log that cannot be reached ends the helper with the refusal
// NotLogged: nothing it does may go unrecorded.
bool Begin(int argc, char** argv, const char* name, int capability, Policy::TCaller& caller);
// A request that is not one: nothing done, the refusal logged and answered.
// Returns the helper's exit code.
int Refuse(const Policy::TCaller& caller, const char* why);
// Asks the policy whether the caller may do actionId (a polkit action). A
// refusal is logged and answered; returns the exit code then, or -1 when
// the caller is served.
int Authorize(const Policy::TCaller& caller, const char* actionId, const char* what);

// The system log (/dev/log, facility authpriv), reached once at the start, so
// that a caller who leaves the helper no descriptor to open it later cannot
// silence it. False when the line did not reach the log.
bool OpenLog(const char* name);
bool Log(int priority, const std::string& text);

// Keeps capability (a CAP_ number) in the effective and permitted sets, if the
// helper was given it, and drops every other one.
void KeepOnly(int capability);
void DropAll();
bool HasEffective(int capability);

// Reads standard input until its end, the buffer is full, or a few seconds
// have passed; returns the bytes read. A request is refused unless exactly one
// whole request came, so the buffer holds one byte more than a request.
std::size_t ReadRequest(std::uint8_t* buffer, std::size_t size);
// Writes the result to standard output. False when the caller is gone.
bool WriteReply(std::int32_t result);

// Who started the helper: the uid and name, and for polkit the process on the
// other end of standard input, when it is the helper's parent (pid and start
// time read while it still is, so a pid reused meanwhile cannot stand in).
Policy::TCaller IdentifyCaller();
// "name (uid N)" for uid, read from /etc/passwd without the name service (the
// helpers link statically); "uid N" when unknown.
std::string AccountName(uid_t uid);

}  // namespace Helper
