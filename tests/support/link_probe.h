#pragma once

#include "link/transport_host.h"
#include "virtual/transport_device.h"

// A link whose record the test can read and arrange. Meant for
// LinkWorker::Manual links stepped by one thread; the record is touched
// without the lock, which is only sound while no worker runs.
template <class Link>
class LinkProbe : public Link {
 public:
  using Link::Link;

  using TransportBase::lock;
  using TransportBase::nextSendTime;
  using TransportBase::retryBudget;
  using TransportBase::rx;
  using TransportBase::rxLastSeq;
  using TransportBase::rxReadOffset;
  using TransportBase::state;
  using TransportBase::tx;
  using TransportBase::txNextSeq;
  using TransportBase::waiter;
  using TransportBase::wakeEvent;

  using TransportBase::LinkLost;
  using TransportBase::QueueReset;
  using TransportBase::WaitForSignal;

  // Starts the responding role without blocking, as a passive open does:
  // both rings empty, Listening.
  void Listen() {
    this->rx.Clear();
    this->tx.Clear();
    this->retryBudget = 0;
    this->state = LinkState::Listening;
  }

  // A link that is Connected with nothing queued and the given numbers.
  void ForceConnected(uint8_t lastSeq, uint8_t nextSeq) {
    this->rx.Clear();
    this->tx.Clear();
    this->retryBudget = 0;
    this->rxLastSeq = lastSeq;
    this->txNextSeq = nextSeq;
    this->rxReadOffset = 0;
    this->state = LinkState::Connected;
  }
};

using HostProbe = LinkProbe<TransportHost>;
using DeviceProbe = LinkProbe<TransportDevice>;
