// Running the warehouse queries of the next nodes ahead of File, a few
// query processes at a time, each node's results in a folder of its own
// under tmp/hard/. File still takes the nodes one by one in list order and
// builds their rows itself, so what it writes does not depend on how many
// queries ran at once; it only waits less.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cmn/qvadmiscinv/qvadinvctx.h"
#include "platform/thread.h"

class QvadQueryAhead {
 public:
  // What the queries of one node gave.
  struct Outcome {
    int table;        // 0 every query of the table ran, -1 one failed (the node fails with -5)
    int interfaces;   // the interface count, or -1
    std::string dir;  // the node's folder, with a closing separator
  };

  // The nodes from first on, in list order, are run ahead; workers is the
  // number of query processes at a time (2 or more). The slot folders are
  // <hard>NN with NN from 00.
  QvadQueryAhead(const InvRunContext &run, const std::string &hard, int workers, NodeEntry *first);
  // Ends whatever still runs (see Stop).
  ~QvadQueryAhead();
  QvadQueryAhead(const QvadQueryAhead &) = delete;
  QvadQueryAhead &operator=(const QvadQueryAhead &) = delete;

  // Starts the workers; false when no folder or thread could be made (the
  // caller then runs the queries itself, one after another).
  bool Start();
  // Waits until the node's queries have run and gives their outcome; the
  // nodes before it that File passed over are dropped. False when the node
  // is not run ahead (then the caller runs its queries itself).
  bool Take(const NodeEntry *node, Outcome *out);
  // File is done with the node it took: its folder is emptied and the next
  // node may start in it.
  void Release();
  // Ends the run ahead: no more queries start, running query processes are
  // ended and waited for, the workers end, the folders are removed. At most
  // wait_ms for each worker (when one does not end, the folders stay).
  void Stop(std::uint32_t wait_ms = 0xFFFFFFFFu);

  // The slot folders a run may use, for removing what a run that was
  // ended without Close left behind.
  static std::string SlotDir(const std::string &hard, int slot);
  static constexpr int kMaxSlots = 32;

 private:
  enum class State { Empty, Waiting, Running, Done };
  struct Slot {
    State state = State::Empty;
    const NodeEntry *node = nullptr;
    Outcome outcome;
  };

  static std::uint32_t WorkerMain(void *self);
  void Work();
  void RunNode(Slot *slot);
  void FillLocked();
  void EmptySlot(Slot *slot);

  const InvRunContext &run_;
  std::string hard_;
  int workers_;
  NodeEntry *next_;               // the next node to give a slot
  std::vector<Slot> slots_;       // a ring, filled in node order
  std::size_t head_ = 0;          // the oldest slot in use
  std::size_t used_ = 0;          // slots in use from head_ on
  std::size_t taken_ = SIZE_MAX;  // the slot File holds, if any
  std::vector<plat::ThreadHandle> threads_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::atomic<bool> stop_{false};
  bool stopped_ = false;
};
