#pragma once

#include "link/transport_base.h"

// The host side of a link: adds the active open.
class TransportHost : public TransportBase {
 public:
  using TransportBase::TransportBase;

  // Active open from Idle: queues a ConnectRequest and waits at most 5000 ms
  // for the peer's ConnectAccept. True when the link is Connected. May be
  // called again after it failed; false at once when the link is not Idle.
  bool Connect();
};
