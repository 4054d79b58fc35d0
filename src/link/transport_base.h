#pragma once

#include <cstdint>

#include "hid/packet_layer.h"
#include "link/link_packet.h"
#include "link/link_ring.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/lock.h"
#include "platform/thread.h"

// Where a link stands.
enum class LinkState : uint32_t {
  Idle = 0,           // no link; anything but a zero-length Reset is answered with a Reset
  Listening = 1,      // passive open: waits for a ConnectRequest
  Connecting = 2,     // active open: the ConnectRequest repeats until it is accepted
  AcceptPending = 3,  // passive open: the ConnectAccept repeats until the peer's first packet
  Connected = 4,      // the link carries data
  ShuttingDown = 5,   // the destructor is stopping the worker; nothing more happens
};

// Which application call, if any, is blocked on the wake event.
enum class WaiterKind : uint32_t {
  None = 0,
  Accept = 1,
  Connect = 2,
  Send = 3,
  Receive = 4,
  Abort = 5,
};

// Who runs the engine: its own worker thread, or the owner calling Poll by
// hand (tests, simulations), one deterministic step at a time.
enum class LinkWorker { Thread, Manual };

// Link timing, in milliseconds.
constexpr uint32_t kRetransmitIntervalMs = 20;
constexpr uint32_t kBusyPollMs = 1;
constexpr uint32_t kIdlePollMs = 10;
constexpr uint32_t kConnectTimeoutMs = 5000;
// retryBudget value meaning "repeat until acknowledged".
constexpr uint8_t kUnlimitedRetries = 255;
// retryBudget of pure acknowledgements and Resets: they go out once.
constexpr uint8_t kSingleTransmission = 1;
// Time limit of Send and Receive meaning "no limit".
constexpr int32_t kNoLimit = -1;

// One reliable link over a PacketLayer: the sequenced, acknowledged,
// retransmitting byte stream, its two rings of four packets, and the worker
// that drives it.
//
// Every field below `lock` is read and written only with `lock` held. The
// worker (Poll) is the only caller of the packet layer; the application
// calls Send, Receive and Abort from one thread at a time, and destroys the
// link only when none of them is in progress.
class TransportBase {
 public:
  // Starts Idle with both rings empty; with LinkWorker::Thread the worker
  // starts polling at once.
  explicit TransportBase(PacketLayer* layer, Clock& clock = SystemClock(),
                         LinkWorker worker = LinkWorker::Thread);
  // Stops and joins the worker. Sends nothing: queued packets are dropped
  // and the peer is not told.
  virtual ~TransportBase();

  TransportBase(const TransportBase&) = delete;
  TransportBase& operator=(const TransportBase&) = delete;

  // Queues up to `count` bytes. Returns the number queued (> 0), 0 when the
  // limit ran out with nothing queued while the link stayed up, -1 when the
  // link is down. Does not wait for acknowledgements. `limit` in ms over the
  // whole call; kNoLimit (any negative value) waits without limit, 0 never
  // waits. One call moves at most 2^31 - 1 bytes.
  int32_t Send(const uint8_t* data, uint32_t count, int32_t limit);
  // Takes exactly `count` bytes unless the limit runs out or the link goes
  // down first. Results as for Send.
  int32_t Receive(uint8_t* buffer, uint32_t count, int32_t limit);
  // Drops the link locally; sends nothing.
  void Abort();

  // One step of the engine: reads at most one packet, runs it through the
  // state machine, and transmits the head packet when it is due. Only the
  // worker calls it, or the owner of a LinkWorker::Manual link.
  void Poll();

  // The current state, read under the lock.
  LinkState CurrentState();

 protected:
  // Entry of the worker thread; the parameter is the record.
  static uint32_t WorkerLoop(void* parameter);

  // With `lock` held: resets the wake event, waits for it outside the lock
  // for at most `limit` ms, takes the lock again. True when it was signalled.
  bool WaitForSignal(uint32_t limit);

  // With `lock` held: the packet layer failed or the peer reset the link.
  void LinkLost();
  // With `lock` held: replaces whatever is queued by one Reset, due at once.
  void QueueReset();
  // With `lock` held: empties the transmit ring and queues one control
  // packet with the given seq and retry budget, due at once.
  void QueueControlPacket(ControlCode code, uint8_t seq, uint8_t budget);

  // Engine parts, all with `lock` held. The Process functions return false
  // when the step ends at once (nothing more is sent in it).
  bool ProcessPacket(LinkPacket& packet, bool inScratch);
  bool ProcessConnected(LinkPacket& packet, bool inScratch);
  void AcceptConnectRequest(const LinkPacket& request);
  void CompleteActiveOpen(const LinkPacket& accept);
  void ProtocolError();
  void QueuePureAcknowledgement();
  void TransmitHead();

  // Operation parts, all with `lock` held.
  uint32_t AppendToTail(const uint8_t* data, uint32_t remaining);
  uint32_t QueueDataPackets(const uint8_t* data, uint32_t remaining);
  uint32_t TakeReceived(uint8_t* buffer, uint32_t remaining);
  // The frame of Send and Receive around their own way of moving bytes.
  template <typename MoveBytes>
  int32_t Transfer(WaiterKind kind, uint32_t count, int32_t limit, MoveBytes moveBytes);
  // The wait step shared by Send and Receive: waits for what is left of
  // `limit` since `start`. True when the call should look at the rings again.
  bool WaitForProgress(uint32_t start, int32_t limit);
  // The result of a Send or Receive that moved `count - remaining` bytes.
  int32_t TransferResult(uint32_t count, uint32_t remaining) const;

  PacketLayer* const layer;
  Clock& clock;
  Lock lock;
  Thread workerThread;
  Event wakeEvent;

  LinkState state = LinkState::Idle;
  WaiterKind waiter = WaiterKind::None;
  uint8_t retryBudget = 0;
  uint32_t nextSendTime = 0;
  LinkRing rx;  // receive ring
  LinkRing tx;  // transmit ring; its head is the only packet ever on the wire
  uint8_t rxLastSeq = 0;
  uint8_t txNextSeq = 0;
  uint8_t rxReadOffset = 0;
};
