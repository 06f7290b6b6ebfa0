#pragma once
#include <netinet/in.h>

#include <string>

// Mappings of the POSIX socket file, exposed for its tests.
namespace IdStackPosix {
int MapErrno(int error);
int MapResolverError(int code, int savedErrno);
// Dotted quad (blanks around the numbers allowed) to an address; empty text is INADDR_ANY.
bool ParseIPv4(const std::string& text, in_addr& address);
}  // namespace IdStackPosix
