#include "packing/unfinished_files.h"

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace lormex {
namespace {

// Slot states. A slot moves kFree -> kFilling -> kIdle, between kIdle and kChanging around each
// system call on its file, and back to kFree; RemoveUnfinishedArchives takes kIdle slots to kGone.
enum SlotState : int { kFree = 0, kFilling, kIdle, kChanging, kGone };

constexpr int kSlotCount = 16;
constexpr std::size_t kPathBytes = 4096 + 512;
// Longest wait for a creation or rename under way while the process ends.
constexpr long kLongestWaitNanoseconds = 200'000'000;

struct Slot {
  std::atomic<int> state{kFree};
  char path[kPathBytes];
};

Slot g_slots[kSlotCount];

static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

int RegisterUnfinishedFile(const std::string& path) {
  if (path.size() + 1 > kPathBytes) return -1;
  for (int i = 0; i < kSlotCount; ++i) {
    int expected = kFree;
    if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
      g_slots[i].state.store(kIdle);
      return i;
    }
  }
  return -1;
}

bool BeginUnfinishedFileChange(int slot) {
  if (slot < 0 || slot >= kSlotCount) return true;
  int expected = kIdle;
  return g_slots[slot].state.compare_exchange_strong(expected, kChanging);
}

void EndUnfinishedFileChange(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  int expected = kChanging;
  g_slots[slot].state.compare_exchange_strong(expected, kIdle);
}

void ForgetUnfinishedFile(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  g_slots[slot].state.store(kFree);
}

void RemoveUnfinishedArchives() {
  for (Slot& slot : g_slots) {
    long waited = 0;
    for (;;) {
      int expected = kIdle;
      if (slot.state.compare_exchange_strong(expected, kGone)) {
        unlink(slot.path);
        break;
      }
      if (expected != kChanging || waited >= kLongestWaitNanoseconds) break;
      const timespec pause{0, 1'000'000};
      nanosleep(&pause, nullptr);
      waited += pause.tv_nsec;
    }
  }
}

}  // namespace lormex
