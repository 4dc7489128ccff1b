// The run ahead: a ring of slot folders filled with the next nodes in list
// order, and worker threads that each take the oldest waiting slot and run
// that node's query table and interface count query into its folder.
#include "hp_ov/qvademinv/qvadahead.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cmn/qvadmiscinv/qvadnodelist.h"
#include "hp_ov/qvademinv/qvadovnodes.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/event.h"
#include "platform/sys.h"
#include "platform/thread.h"

namespace {

// A worker looks at the stop flag at least this often, so a stop never
// waits on a wake-up that came before the worker slept.
constexpr auto kRecheck = std::chrono::milliseconds(100);

std::string WithoutSeparator(std::string dir) {
  if (!dir.empty() && dir.back() == plat::kSep[0]) dir.pop_back();
  return dir;
}

}  // namespace

QvadQueryAhead::QvadQueryAhead(const InvRunContext &run, const std::string &hard, int workers, NodeEntry *first)
    : run_(run),
      hard_(hard),
      workers_(workers),
      next_(first),
      slots_(static_cast<std::size_t>(std::min(2 * workers, kMaxSlots))) {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    slots_[i].outcome.dir = SlotDir(hard, static_cast<int>(i)) + plat::kSep;
  }
}

QvadQueryAhead::~QvadQueryAhead() { Stop(); }

std::string QvadQueryAhead::SlotDir(const std::string &hard, int slot) {
  char name[8];
  std::snprintf(name, sizeof name, "%02d", slot % 100);
  return hard + name;
}

bool QvadQueryAhead::Start() {
  for (Slot &s : slots_) {
    std::string dir = WithoutSeparator(s.outcome.dir);
    plat::RemoveFolder(dir.c_str());
    if (!plat::MakeDirectory(dir.c_str())) {
      Stop();
      return false;
    }
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    FillLocked();
  }
  // The host's stop and pause signals stay with the host's own threads.
  plat::SignalBlocker quiet;
  for (int i = 0; i < workers_; ++i) {
    plat::ThreadHandle h = plat::StartThread(&QvadQueryAhead::WorkerMain, this);
    if (h == nullptr) break;
    threads_.push_back(h);
  }
  if (threads_.empty()) {
    Stop();
    return false;
  }
  return true;
}

std::uint32_t QvadQueryAhead::WorkerMain(void *self) {
  static_cast<QvadQueryAhead *>(self)->Work();
  return 0;
}

void QvadQueryAhead::Work() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stop_.load()) {
    Slot *pick = nullptr;
    for (std::size_t i = 0; i < used_ && pick == nullptr; ++i) {
      Slot &s = slots_[(head_ + i) % slots_.size()];
      if (s.state == State::Waiting) pick = &s;
    }
    if (pick == nullptr) {
      changed_.wait_for(hold, kRecheck);
      continue;
    }
    pick->state = State::Running;
    hold.unlock();
    RunNode(pick);
    hold.lock();
    pick->state = State::Done;
    changed_.notify_all();
  }
}

void QvadQueryAhead::RunNode(Slot *slot) {
  Outcome &out = slot->outcome;
  out.table = -1;
  out.interfaces = -1;
  // A node File refuses is never asked about.
  if (Qvad_InvNodeRefusal(*slot->node) != nullptr) return;
  QvadQuerySite site{run_.QueryToolPath, out.dir, out.dir + "ovdwquery.txt", &stop_};
  site.timeout_s = static_cast<std::uint32_t>(run_.QueryTimeout);
  site.job = run_.Job;
  const char *name = slot->node->NodeName;
  out.table = Qvad_InvOvQueryTblExec(site, name, run_.QueryTable);
  if (out.table == 0) out.interfaces = Qvad_InvOvInterface(site, run_.InterfaceQuery, name);
}

void QvadQueryAhead::FillLocked() {
  while (used_ < slots_.size() && next_ != nullptr) {
    Slot &s = slots_[(head_ + used_) % slots_.size()];
    s.state = State::Waiting;
    s.node = next_;
    next_ = next_->next;
    ++used_;
  }
  changed_.notify_all();
}

void QvadQueryAhead::EmptySlot(Slot *slot) {
  std::string dir = WithoutSeparator(slot->outcome.dir);
  plat::RemoveFolder(dir.c_str());
  plat::MakeDirectory(dir.c_str());
  slot->state = State::Empty;
  slot->node = nullptr;
}

bool QvadQueryAhead::Take(const NodeEntry *node, Outcome *out) {
  std::unique_lock<std::mutex> hold(lock_);
  if (stop_.load() || threads_.empty()) return false;
  // Nodes File passed over (a repeated name) are dropped; one whose queries
  // are running is let finish first, so its folder is not pulled from under
  // the query tool.
  while (used_ > 0 && slots_[head_].node != node) {
    Slot &s = slots_[head_];
    while (s.state == State::Running) changed_.wait_for(hold, kRecheck);
    EmptySlot(&s);
    head_ = (head_ + 1) % slots_.size();
    --used_;
  }
  FillLocked();
  if (used_ == 0 || slots_[head_].node != node) return false;
  Slot &s = slots_[head_];
  while (s.state != State::Done) {
    if (stop_.load()) return false;
    changed_.wait_for(hold, kRecheck);
  }
  taken_ = head_;
  *out = s.outcome;
  return true;
}

void QvadQueryAhead::Release() {
  std::lock_guard<std::mutex> hold(lock_);
  if (taken_ != head_ || used_ == 0) return;
  EmptySlot(&slots_[head_]);
  head_ = (head_ + 1) % slots_.size();
  --used_;
  taken_ = SIZE_MAX;
  FillLocked();
}

void QvadQueryAhead::Stop(std::uint32_t wait_ms) {
  if (stop_.exchange(true)) return;
  changed_.notify_all();
  bool ended = true;
  for (plat::ThreadHandle h : threads_) {
    ended = plat::WaitThread(h, wait_ms) == plat::kWaitObject0 && ended;
    plat::CloseThread(h);
  }
  threads_.clear();
  // A worker that did not end may still write into its folder.
  if (!ended) return;
  for (Slot &s : slots_) plat::RemoveFolder(WithoutSeparator(s.outcome.dir).c_str());
}
