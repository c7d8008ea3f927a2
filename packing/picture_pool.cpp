#include "packing/picture_pool.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>

namespace lormex {
namespace {

// Linux: marks the calling thread as a batch worker. It keeps its normal priority, but the
// scheduler lets a thread that wakes up (the window's, to redraw) run before it, so the window
// stays responsive while every core decodes pictures.
void YieldToInteractiveThreads() {
  sched_param param{};
  param.sched_priority = 0;
  pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
}

}  // namespace

int PictureThreadCount(int requested) {
  if (requested > 0) return requested;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

PicturePool::PicturePool(int threads) {
  threads = std::max(1, threads);
  threads_.reserve(static_cast<std::size_t>(threads));
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

PicturePool::~PicturePool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::shared_ptr<PictureJob> PicturePool::Submit(std::string path, const ReencodeSettings& settings,
                                                std::vector<std::uint8_t> buffer) {
  auto job = std::make_shared<PictureJob>();
  job->path = std::move(path);
  job->settings = settings;
  job->jpeg = std::move(buffer);
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(job);
  }
  work_ready_.notify_one();
  return job;
}

void PicturePool::Wait(const PictureJob& job) {
  std::unique_lock lock(mutex_);
  job_done_.wait(lock, [&job] { return job.done; });
}

void PicturePool::Work() {
  YieldToInteractiveThreads();
  PictureReencoder reencoder;
  while (true) {
    std::shared_ptr<PictureJob> job;
    {
      std::unique_lock lock(mutex_);
      work_ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    // Only this thread touches the job until it is marked done.
    ReencodeOutcome outcome;
    try {
      outcome = reencoder.ReencodeFile(job->path, job->settings, &job->jpeg);
    } catch (const std::bad_alloc&) {
      outcome.ok = false;
      outcome.error = "内存不足";
    }
    {
      std::lock_guard lock(mutex_);
      job->outcome = std::move(outcome);
      job->done = true;
    }
    job_done_.notify_all();
  }
}

}  // namespace lormex
