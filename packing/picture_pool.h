#ifndef LORMEX_PACKING_PICTURE_POOL_H_
#define LORMEX_PACKING_PICTURE_POOL_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "packing/picture_reencoder.h"

namespace lormex {

// One picture handed to the pool, and what became of it.
struct PictureJob {
  std::string path;
  ReencodeSettings settings;
  ReencodeOutcome outcome;
  std::vector<std::uint8_t> jpeg;  // the encoded picture when outcome.ok
  bool done = false;               // guarded by the pool's mutex
};

// Threads that re-encode pictures ahead of the one thread that writes the archive. Jobs are
// taken up in the order they are submitted; each thread keeps its own reencoder and buffers for
// the life of the pool. Submit and Wait are called from one thread (the writer).
class PicturePool {
 public:
  // `threads` of at least 1.
  explicit PicturePool(int threads);
  // Waits for the job under way on each thread; jobs not yet taken up are dropped.
  ~PicturePool();
  PicturePool(const PicturePool&) = delete;
  PicturePool& operator=(const PicturePool&) = delete;

  int threads() const { return static_cast<int>(threads_.size()); }

  // Queues a picture. `buffer` becomes the job's output buffer, so that a caller can hand back
  // the buffers of written pictures and the encoder keeps reusing their memory.
  std::shared_ptr<PictureJob> Submit(std::string path, const ReencodeSettings& settings,
                                     std::vector<std::uint8_t> buffer);

  // Blocks until `job` is done.
  void Wait(const PictureJob& job);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  std::deque<std::shared_ptr<PictureJob>> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// The number of picture threads for a request: `requested` when positive, else one per
// processor.
int PictureThreadCount(int requested);

}  // namespace lormex

#endif  // LORMEX_PACKING_PICTURE_POOL_H_
