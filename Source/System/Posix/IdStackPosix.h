// SPDX-License-Identifier: MIT
#pragma once

// Mappings of the POSIX socket file, exposed for its tests.
namespace IdStackPosix {
int MapErrno(int error);
int MapResolverError(int code, int savedErrno);
}  // namespace IdStackPosix
