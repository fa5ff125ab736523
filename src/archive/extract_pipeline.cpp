// Parallel reading of entries. One thread reads the archive in order into jobs (entry headers
// and stored data); worker threads decode whole entries, each job on one worker, into pieces of
// content; the caller takes the jobs strictly in archive order and writes them. The caller
// alone decides what is written, so work done ahead for an entry that is passed over, or that
// comes after a failure, is simply dropped.
//
// Memory in flight is bounded: stored data waiting for a worker, and decoded content waiting
// for the caller, each have a budget; the job the caller is working on may always go on (within
// a limit of its own), so that the budgets never hold it up. A small entry travels as one piece
// of stored data, and when no worker has come to it yet the caller decodes it itself, straight
// into the target; a large one comes in pieces that its worker decodes as they arrive, while
// the caller writes what it has decoded so far.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <mutex>
#include <system_error>

#include "archive/entry_names.h"
#include "archive/extract_internal.h"
#include "archive/thread_pool.h"

namespace archive::detail {
namespace {

constexpr size_t kStoredBudget = 6 << 20;
constexpr size_t kDecodedBudget = 6 << 20;
constexpr size_t kCurrentLimit = 2 << 20;  // content of the caller's job waiting for it
constexpr size_t kOutputPiece = 256 << 10;
// Room for a piece of content plus what one inflate step adds to it.
constexpr size_t kPendingCapacity = kOutputPiece + (64 << 10);
// A smaller piece is handed over as an exact copy; its worker keeps its large buffer.
constexpr size_t kSmallPiece = 64 << 10;
constexpr size_t kSpareBuffers = 2;
// Small entries published together.
constexpr size_t kBatchJobs = 16;
constexpr size_t kBatchBytes = 256 << 10;
// Entries published ahead of the caller: entries without data cost no budget but a job each.
constexpr size_t kMaxJobsAhead = 4096;

struct OutputPiece {
  std::string data;
  uint64_t position;  // archive offset up to which the entry's data has been decoded
};

struct Job {
  // Set by the reader before the job is published, unchanged afterwards.
  HeaderRead read = HeaderRead::kEntry;
  EntryHeader entry;
  bool decode = false;  // the data are read and decoded
  bool whole = false;   // the data came with the job, in one piece
  uint64_t data_start = 0;
  uint64_t data_end = 0;
  // Guarded by the pipeline's mutex.
  bool taken = false;  // by a worker, or by the caller itself
  std::deque<std::string> input;
  bool input_done = false;      // no more input will come
  bool input_unneeded = false;  // the reader may pass over the rest of the data
  std::deque<OutputPiece> output;
  size_t output_bytes = 0;
  bool output_done = false;
  bool cancelled = false;  // the caller passed over the entry
  DecodeResult result = DecodeResult::kOk;
  std::exception_ptr failure;  // what reading or decoding threw, raised on the caller's thread
};

// Thrown inside a worker to leave a job that nobody needs any longer.
struct Abandon {};

// A condition variable that knows whether anyone waits on it (read under the lock).
class Signal {
 public:
  template <class Predicate>
  void Wait(std::unique_lock<std::mutex>& lock, Predicate ready) {
    ++waiting_;
    cv_.wait(lock, ready);
    --waiting_;
  }
  bool Waiting() const { return waiting_ > 0; }
  std::condition_variable& Variable() { return cv_; }

 private:
  std::condition_variable cv_;
  int waiting_ = 0;
};

// Wake-ups decided under the lock and sent when it has been released (declare before the
// lock), so that a woken thread does not run straight into the held lock.
class Wakeups {
 public:
  Wakeups() = default;
  Wakeups(const Wakeups&) = delete;
  Wakeups& operator=(const Wakeups&) = delete;
  ~Wakeups() {
    for (int i = 0; i < count_; ++i) all_[i] ? cv_[i]->notify_all() : cv_[i]->notify_one();
  }
  void One(Signal& s) { Add(s, false); }
  void All(Signal& s) { Add(s, true); }

 private:
  void Add(Signal& s, bool all) {
    if (!s.Waiting()) return;
    for (int i = 0; i < count_; ++i) {
      if (cv_[i] == &s.Variable()) {
        all_[i] = all_[i] || all;
        return;
      }
    }
    cv_[count_] = &s.Variable();
    all_[count_++] = all;
  }
  static constexpr int kMax = 5;  // the pipeline's signals
  std::condition_variable* cv_[kMax] = {};
  bool all_[kMax] = {};
  int count_ = 0;
};

class ParallelSource : public EntrySource {
 public:
  ParallelSource(TArchiveReader& reader, const ExtractPlan& plan, PositionCallback progress)
      : reader_(reader), plan_(plan), progress_(std::move(progress)) {}

  ~ParallelSource() override { Stop(); }

  // Throws std::system_error when a thread cannot be started; the reader is started last, so
  // nothing has been read then.
  void Start(unsigned workers) {
    try {
      for (unsigned i = 0; i < workers; ++i)
        tasks_.push_back(RunOnPoolThread([this] { WorkerLoop(); }));
      tasks_.push_back(RunOnPoolThread([this] { ReaderLoop(); }));
    } catch (...) {
      Stop();
      throw;
    }
  }

  HeaderRead Next(EntryHeader& entry) override {
    Wakeups wake;
    std::unique_lock<std::mutex> lock(mutex_);
    Recycle();
    writer_.Wait(lock, [this] { return !ordered_.empty(); });
    current_ = std::move(ordered_.front());
    ordered_.pop_front();
    wake.One(reader_signal_);
    Job& job = *current_;
    own_input_.clear();
    own_ = job.whole && !job.taken;
    if (own_) {
      // No worker has come to it: rather than wait, the caller decodes it itself.
      job.taken = true;
      work_.erase(std::find_if(work_.begin(), work_.end(),
                               [&job](const std::shared_ptr<Job>& j) { return j.get() == &job; }));
      own_input_ = std::move(job.input.front());
      job.input.clear();
      stored_held_ -= own_input_.size();
    } else {
      wake.All(budget_);  // a worker held back by the budget may be working on this job
    }
    ready_ = job.output_done && !job.failure;
    if (ready_) {
      // Decoded already: Decode need not take the lock again.
      ready_output_ = std::move(job.output);
      job.output.clear();
      decoded_held_ -= job.output_bytes;
      job.output_bytes = 0;
      wake.All(budget_);
    }
    consumed_ = job.data_start;
    if (job.failure && job.read != HeaderRead::kEntry) std::rethrow_exception(job.failure);
    entry = job.entry;
    return job.read;
  }

  DecodeResult Decode(const ZSink& sink) override {
    Job& job = *current_;
    consumed_ = job.data_end;
    if (own_) {
      TEntryDecoder decoder = plan_.MakeDecoder(job.entry);
      try {
        decoder.Feed(own_input_.data(), own_input_.size(), sink);
        return decoder.Finish(sink);
      } catch (const SinkAbort&) {
        return DecodeResult::kAborted;
      }
    }
    if (ready_) {
      try {
        for (OutputPiece& piece : ready_output_) {
          sink(piece.data.data(), piece.data.size());
          if (progress_) progress_(piece.position);
        }
      } catch (const SinkAbort&) {
        return DecodeResult::kAborted;
      }
      ready_output_.clear();
      return job.result;
    }
    for (;;) {
      OutputPiece piece;
      bool last = false;
      DecodeResult result = DecodeResult::kOk;
      std::exception_ptr failure;
      {
        Wakeups wake;
        std::unique_lock<std::mutex> lock(mutex_);
        Recycle();
        writer_.Wait(lock, [&job] { return !job.output.empty() || job.output_done; });
        if (!job.output.empty()) {
          piece = std::move(job.output.front());
          job.output.pop_front();
          job.output_bytes -= piece.data.size();
          decoded_held_ -= piece.data.size();
          wake.All(budget_);
        }
        last = job.output.empty() && job.output_done;
        result = job.result;
        failure = job.failure;
      }
      if (!piece.data.empty()) {
        try {
          sink(piece.data.data(), piece.data.size());
        } catch (const SinkAbort&) {
          Wakeups wake;
          std::lock_guard<std::mutex> lock(mutex_);
          Cancel(job, wake);
          return DecodeResult::kAborted;
        }
        if (progress_) progress_(piece.position);
        recycle_ = std::move(piece.data);
      }
      if (last) {
        if (failure) std::rethrow_exception(failure);
        return result;
      }
    }
  }

  void Skip() override {
    ready_output_.clear();
    Wakeups wake;
    std::lock_guard<std::mutex> lock(mutex_);
    Cancel(*current_, wake);
    consumed_ = current_->data_end;
  }

  uint64_t Consumed() const override { return consumed_; }

 private:
  // Under the lock: drops what the job holds and lets its reader and worker leave it.
  void Cancel(Job& job, Wakeups& wake) {
    job.cancelled = true;
    for (const std::string& piece : job.input) stored_held_ -= piece.size();
    job.input.clear();
    decoded_held_ -= job.output_bytes;
    job.output.clear();
    job.output_bytes = 0;
    wake.One(reader_signal_);
    wake.All(input_);
    wake.All(budget_);
  }

  // Under the lock: a large buffer the caller has written out goes back to the workers.
  void Recycle() {
    if (recycle_.capacity() >= kPendingCapacity && spare_.size() < kSpareBuffers) {
      recycle_.clear();
      spare_.push_back(std::move(recycle_));
    }
    recycle_ = std::string();
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    for (Signal* s : {&reader_signal_, &jobs_, &input_, &budget_}) s->Variable().notify_all();
    for (std::future<void>& task : tasks_) task.wait();
    tasks_.clear();
  }

  // Under the lock: queues a job for the caller, and for the workers when it has data to
  // decode; one without is finished at once.
  void Enqueue(std::shared_ptr<Job> job) {
    if (!job->decode) job->input_done = job->output_done = true;
    if (job->decode) work_.push_back(job);
    ordered_.push_back(std::move(job));
  }

  // Publishes jobs to the caller and those with data to decode to the workers, once the stored
  // data they bring fit in the budget. False when the pipeline is stopping.
  bool Publish(std::vector<std::shared_ptr<Job>>& jobs) {
    size_t bytes = 0, decode = 0;
    for (const auto& job : jobs) {
      if (!job->input.empty()) bytes += job->input.front().size();
      decode += job->decode;
    }
    Wakeups wake;
    std::unique_lock<std::mutex> lock(mutex_);
    reader_signal_.Wait(lock, [&] {
      return stop_ || (ordered_.size() < kMaxJobsAhead &&
                       (bytes == 0 || stored_held_ == 0 || stored_held_ + bytes <= kStoredBudget));
    });
    if (stop_) return false;
    stored_held_ += bytes;
    for (auto& job : jobs) Enqueue(std::move(job));
    jobs.clear();
    wake.One(writer_);
    if (decode > 1) wake.All(jobs_);
    if (decode == 1) wake.One(jobs_);
    return true;
  }

  void ReaderLoop() {
    std::shared_ptr<Job> reading;
    // Small entries are published a few at a time, which saves taking the lock for each.
    std::vector<std::shared_ptr<Job>> batch;
    size_t batch_bytes = 0;
    try {
      for (;;) {
        auto job = std::make_shared<Job>();
        job->read = reader_.NextEntry(job->entry);
        job->entry.Name = EntryPath(job->entry.Name);
        job->data_start = reader_.Position();
        const uint64_t left = reader_.DataLeft();
        job->data_end = job->data_start + left;
        // Nothing after an entry that ends the extraction is looked at.
        const bool last = job->read != HeaderRead::kEntry || job->entry.Name.empty() ||
                          plan_.Inspect(job->entry) != ExtractPlan::Check::kOk;
        job->decode = !last && plan_.MayDecode(job->entry);
        const bool large = job->decode && left > kReadChunk;
        if (job->decode && !large) {
          // Read before it is booked: the budget is overdrawn by one batch at most.
          std::string piece(static_cast<size_t>(left), '\0');
          piece.resize(reader_.ReadData(piece.data(), piece.size()));
          batch_bytes += piece.size();
          job->input.push_back(std::move(piece));
          job->whole = job->input_done = true;
        }
        batch.push_back(job);
        if (!last && !large && batch.size() < kBatchJobs && batch_bytes < kBatchBytes) continue;
        batch_bytes = 0;
        if (!Publish(batch) || last) return;
        if (large) {
          reading = job;
          ReadInput(*job);
          reading.reset();
        }
      }
    } catch (...) {
      // Out of memory: the caller raises it when it comes to this point of the archive.
      Wakeups wake;
      std::lock_guard<std::mutex> lock(mutex_);
      if (reading) {
        reading->failure = std::current_exception();
        reading->input_done = true;
        wake.All(input_);
      }
      for (auto& job : batch) {
        if (!job->input.empty()) stored_held_ += job->input.front().size();
        Enqueue(std::move(job));
      }
      wake.All(jobs_);
      auto job = std::make_shared<Job>();
      job->read = HeaderRead::kTruncated;
      job->failure = std::current_exception();
      job->input_done = job->output_done = true;
      ordered_.push_back(job);
      wake.One(writer_);
    }
  }

  // Reads a large entry's data in pieces as the budget allows.
  void ReadInput(Job& job) {
    for (;;) {
      // After a short read the data (the file) have ended and nothing more is wanted.
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadChunk, reader_.DataLeft()));
      std::string piece;
      bool booked = false;
      if (want > 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        reader_signal_.Wait(lock, [&] {
          return stop_ || job.cancelled || job.input_unneeded || stored_held_ == 0 ||
                 stored_held_ + want <= kStoredBudget;
        });
        if (stop_) return;
        booked = !job.cancelled && !job.input_unneeded;
        if (booked) {
          stored_held_ += want;
          if (!spare_input_.empty()) {
            piece = std::move(spare_input_.back());
            spare_input_.pop_back();
          }
        }
      }
      if (booked) {
        piece.resize(want);
        piece.resize(reader_.ReadData(piece.data(), want));
      }
      Wakeups wake;
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
      stored_held_ -= booked ? want - piece.size() : 0;
      if (!booked || job.cancelled || job.input_unneeded) {
        stored_held_ -= piece.size();
        job.input_done = true;
      } else if (!piece.empty()) {
        job.input.push_back(std::move(piece));
      }
      wake.All(input_);
      if (job.input_done) return;
    }
  }

  void WorkerLoop() {
    std::string pending;  // content not yet handed over, kept from job to job
    pending.reserve(kPendingCapacity);
    for (;;) {
      std::shared_ptr<Job> job;
      std::string whole;
      {
        Wakeups wake;
        std::unique_lock<std::mutex> lock(mutex_);
        jobs_.Wait(lock, [this] { return stop_ || !work_.empty(); });
        if (stop_) return;
        job = std::move(work_.front());
        work_.pop_front();
        job->taken = true;
        if (job->whole) {
          whole = std::move(job->input.front());
          job->input.clear();
          stored_held_ -= whole.size();
          wake.One(reader_signal_);
        }
      }
      try {
        DecodeJob(*job, whole, pending);
      } catch (const Abandon&) {
        pending.clear();
      } catch (...) {
        pending.clear();
        Wakeups wake;
        std::lock_guard<std::mutex> lock(mutex_);
        job->failure = std::current_exception();
        job->output_done = true;
        wake.One(writer_);
      }
    }
  }

  void DecodeJob(Job& job, std::string& whole, std::string& pending) {
    TEntryDecoder decoder = plan_.MakeDecoder(job.entry);
    uint64_t position = job.data_start;
    // Hands the content gathered so far to the caller, within the budget.
    // With `last`, the job's result goes with the last piece.
    auto flush = [&](bool last, DecodeResult result) {
      const size_t n = pending.size();
      OutputPiece piece{{}, position};
      if (n > 0 && n < kSmallPiece) piece.data.assign(pending);
      Wakeups wake;
      std::unique_lock<std::mutex> lock(mutex_);
      budget_.Wait(lock, [&] {
        return stop_ || job.cancelled || n == 0 || decoded_held_ == 0 ||
               decoded_held_ + n <= kDecodedBudget ||
               (current_.get() == &job && job.output_bytes + n <= kCurrentLimit);
      });
      if (stop_ || job.cancelled) throw Abandon{};
      if (n >= kSmallPiece) {
        piece.data = std::move(pending);
        if (!spare_.empty()) {
          pending = std::move(spare_.back());
          spare_.pop_back();
        } else {
          pending = std::string();
        }
      }
      if (n > 0) {
        decoded_held_ += n;
        job.output_bytes += n;
        job.output.push_back(std::move(piece));
      }
      if (last) {
        job.result = result;
        job.output_done = true;
      }
      wake.One(writer_);
      lock.unlock();
      pending.clear();
      if (pending.capacity() < kPendingCapacity) pending.reserve(kPendingCapacity);
    };
    const ZSink sink = [&](const char* data, size_t length) {
      pending.append(data, length);
      if (pending.size() >= kOutputPiece) flush(false, DecodeResult::kOk);
    };
    if (job.whole) {
      decoder.Feed(whole.data(), whole.size(), sink);
    } else if (!FeedInput(job, decoder, sink, position)) {
      return;
    }
    const DecodeResult result = decoder.Finish(sink);
    position = job.data_end;
    flush(true, result);
  }

  // Feeds a large job's stored data to the decoder as they arrive, until they end or the
  // decoder needs no more; `position` follows the archive offset. False when the job was
  // given up.
  bool FeedInput(Job& job, TEntryDecoder& decoder, const ZSink& sink, uint64_t& position) {
    std::string piece;
    for (;;) {
      {
        Wakeups wake;
        std::unique_lock<std::mutex> lock(mutex_);
        if (piece.capacity() >= kReadChunk && spare_input_.size() < kSpareBuffers)
          spare_input_.push_back(std::move(piece));
        input_.Wait(lock,
                    [&] { return stop_ || job.cancelled || !job.input.empty() || job.input_done; });
        if (stop_ || job.cancelled) return false;
        if (job.input.empty()) return true;
        piece = std::move(job.input.front());
        job.input.pop_front();
        stored_held_ -= piece.size();
        wake.One(reader_signal_);
      }
      decoder.Feed(piece.data(), piece.size(), sink);
      position += piece.size();
      if (decoder.Settled()) {
        // Later data cannot change the content: the reader may pass over it.
        Wakeups wake;
        std::lock_guard<std::mutex> lock(mutex_);
        job.input_unneeded = true;
        for (const std::string& rest : job.input) stored_held_ -= rest.size();
        job.input.clear();
        wake.One(reader_signal_);
        return true;
      }
    }
  }

  TArchiveReader& reader_;
  const ExtractPlan& plan_;
  const PositionCallback progress_;

  std::mutex mutex_;
  Signal reader_signal_;  // the reader: budget for stored data, room for jobs, cancellation
  Signal jobs_;           // idle workers: jobs
  Signal input_;          // workers on large entries: their next piece
  Signal budget_;         // workers with content: budget, their job becoming the caller's
  Signal writer_;         // the caller: jobs, content
  std::deque<std::shared_ptr<Job>> ordered_;  // published, not yet taken by the caller
  std::deque<std::shared_ptr<Job>> work_;     // waiting for a worker
  std::shared_ptr<Job> current_;              // the caller's
  size_t stored_held_ = 0;
  size_t decoded_held_ = 0;
  bool stop_ = false;
  // Buffers passed round instead of being freed and allocated again.
  std::vector<std::string> spare_;        // for content
  std::vector<std::string> spare_input_;  // for pieces of stored data
  // The caller's thread only.
  bool own_ = false;    // the current job is decoded by the caller
  bool ready_ = false;  // it had been decoded when the caller came to it
  std::deque<OutputPiece> ready_output_;
  std::string own_input_;  // its stored data
  std::string recycle_;    // the last piece written, to go back to the spares
  uint64_t consumed_ = 0;
  std::vector<std::future<void>> tasks_;  // the workers and the reader, on pool threads
};

}  // namespace

std::unique_ptr<EntrySource> MakeParallelSource(TArchiveReader& reader, const ExtractPlan& plan,
                                                unsigned workers, PositionCallback progress) {
  auto source = std::make_unique<ParallelSource>(reader, plan, std::move(progress));
  try {
    source->Start(workers);
  } catch (const std::system_error&) {
    return nullptr;
  }
  return source;
}

}  // namespace archive::detail
