// Descriptors: the process's limit on open files and sockets, and how much of it is kept back.
//
// RaiseDescriptorLimit lifts the soft limit to the hard one (once, at program start): the
// default soft limit of 1024 would let about a thousand idle connections starve the log files.
// Connections are then admitted only while kDescriptorReserve descriptors stay free, so that
// log files, the activity log, the settings and the window endpoint always get one (see
// TListenSocket::Accept).
//
// Threads: any. Failure: none; a limit that cannot be read or raised stays as it is.
#pragma once

#include <cstddef>

namespace bx {

// Descriptors kept free for files and the window endpoint when connections are admitted.
inline constexpr size_t kDescriptorReserve = 128;

struct TDescriptorLimit {
  size_t Soft = 0;  // the limit in force
  size_t Hard = 0;
};

// Raises the soft limit to the hard limit; returns the limits in force afterwards.
TDescriptorLimit RaiseDescriptorLimit();
// The limits in force now.
TDescriptorLimit CurrentDescriptorLimit();

}  // namespace bx
