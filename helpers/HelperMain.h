#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// What both privileged helpers do around their one request. They are started
// by an unprivileged program, maybe a hostile one, so they trust nothing they
// inherit: descriptors, environment, signal dispositions, capabilities.
namespace Helper {

// First thing in main: standard descriptors open (on /dev/null where they were
// closed), every other descriptor closed, no environment, SIGPIPE ignored,
// capabilities no process may regain.
void Harden();
// True when the only argument is --version: the helper then prints its name and
// version. Every other argument is ignored.
bool VersionAsked(int argc, char** argv, const char* name);

// A helper's start: hardened, every capability but its own dropped, the system
// log opened under its name, the caller known. False after --version: the
// helper then ends.
bool Begin(int argc, char** argv, const char* name, int capability, std::string& caller);
// A request that is not one: nothing done, the refusal logged and answered.
// Returns the helper's exit code.
int Refuse(const std::string& caller, const char* why);

// Keeps capability (a CAP_ number) in the effective and permitted sets, if the
// helper was given it, and drops every other one.
void KeepOnly(int capability);
void DropAll();
bool HasEffective(int capability);

// Reads standard input until its end, the buffer is full, or a few seconds
// have passed; returns the bytes read. A request is refused unless exactly one
// whole request came, so the buffer holds one byte more than a request.
std::size_t ReadRequest(std::uint8_t* buffer, std::size_t size);
// Writes the result to standard output, with descriptor as SCM_RIGHTS when it
// is not negative. False when the caller is gone.
bool WriteReply(std::int32_t result, int descriptor = -1);

// "name (uid N)" for the user who started the helper, read from /etc/passwd
// without the name service (the helpers link statically); "uid N" when unknown.
std::string Caller();

}  // namespace Helper
