#pragma once

#include "link/transport_base.h"

// The device side of a link: adds the passive open, which only the virtual
// interface uses. The engine's responding role (Listening, AcceptPending)
// does the rest.
class TransportDevice : public TransportBase {
 public:
  using TransportBase::TransportBase;

  // Passive open from Idle: listens for a host's ConnectRequest and waits at
  // most `limit` ms (kNoLimit: without limit) until the host's first packet
  // has made the link Connected. True when it is. On failure the link is
  // Idle again with nothing queued; false at once when it was not Idle.
  bool Accept(int32_t limit);
};
