#include "cli/sequence.h"

#include <tbb/concurrent_queue.h>
#include <tbb/global_control.h>
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <new>

#include "cli/render_frame.h"
#include "cli/stop_signal.h"

namespace corvalin::cli {

namespace fs = std::filesystem;

FramePlan PlanOutput(const FrameHeader& header, const std::string& output,
                     const SequenceOptions& options) {
  FramePlan plan;
  plan.layout.format = FormatOfPath(output);
  const SamplePlan samples =
      PlanSamples(output, plan.layout.format,
                  SampleRequest{options.frame.depth, options.floatOutput, header.kind});
  plan.depth = samples.depth;
  plan.layout.kind = samples.kind;
  plan.layout.compression = options.compression;
  plan.inputAlpha = options.frame.alpha.value_or(header.alpha);
  plan.layout.alpha = options.frame.alpha.value_or(DefaultOutputAlpha(plan.layout.format));
  // Each frame's own: frames of a sequence may be labelled differently.
  plan.layout.colour = header.colour;
  return plan;
}

namespace {

// The frame buffers and scratch buffer of one frame in flight, kept for the
// next frame: a sequence allocates them once per frame in flight, not once
// per frame. The pixels are left uninitialised, since the decoder writes
// every pixel of the input and the render every pixel of the output; only
// the row padding, which hosts hand over zeroed, is cleared.
struct FrameBuffers {
  std::optional<FrameBuffer<PF_Pixel8>> in8, out8;
  std::optional<FrameBuffer<PF_Pixel16>> in16, out16;
  std::vector<std::byte> scratch;

  // The input and output at `Pixel`'s depth, made for the size if they are
  // not of it.
  template <class Pixel>
  std::pair<FrameBuffer<Pixel>&, FrameBuffer<Pixel>&> Frames(int32_t w, int32_t h,
                                                             int32_t padding) {
    auto& in = Slot<Pixel>(true);
    auto& out = Slot<Pixel>(false);
    if (!in || in->width() != w || in->height() != h || in->stride() != w + padding) {
      // Drop the old pair first: a frame in flight holds one pair at a time.
      in8.reset(), out8.reset(), in16.reset(), out16.reset();
      in.emplace(w, h, padding);
      out.emplace(w, h, padding);
    } else {
      // The render may leave corner markers in the output's padding.
      out->ClearPadding();
    }
    return {*in, *out};
  }

  // The pair made last at `Pixel`'s depth.
  template <class Pixel>
  std::pair<FrameBuffer<Pixel>&, FrameBuffer<Pixel>&> Frames() {
    return {*Slot<Pixel>(true), *Slot<Pixel>(false)};
  }

 private:
  template <class Pixel>
  std::optional<FrameBuffer<Pixel>>& Slot(bool input) {
    if constexpr (std::is_same_v<Pixel, PF_Pixel8>) {
      return input ? in8 : out8;
    } else {
      return input ? in16 : out16;
    }
  }
};

enum class FrameState { render, skipped, failed, stopped };

struct FrameInFlight {
  size_t index = 0;
  FrameState state = FrameState::render;
  std::string message;                // why it failed
  std::vector<std::string> warnings;  // what its input's metadata lost
  std::unique_ptr<FrameReader> reader;
  FramePlan plan;
  std::unique_ptr<FrameBuffers> buffers;
};

std::string FrameName(const FrameJob& job) {
  return job.frame < 0 ? std::string() : "frame " + std::to_string(job.frame) + ": ";
}

// The first frame that opens sets the size and sample type of the sequence.
struct SequenceShape {
  bool set = false;
  int64_t frame = -1;
  FrameHeader header;
};

std::string Describe(const FrameHeader& h) {
  return std::to_string(h.width) + " x " + std::to_string(h.height) + ", " + SampleKindName(h.kind);
}

class Pipeline {
 public:
  Pipeline(const modulehost::ModuleHost& host, const std::vector<FrameJob>& jobs,
           const SequenceOptions& options, Progress& progress, StageTimes* times)
      : host_(host), jobs_(jobs), options_(options), progress_(progress), times_(times) {}

  SequenceResult Run() {
    const int threads = std::max(1, options_.frame.threads);
    // Enough frames in flight to keep every thread busy while frames wait
    // for their turn to be reported, and no more. Only the frames being
    // decoded, rendered or encoded hold buffers: at most one per thread.
    const size_t maxInFlight = static_cast<size_t>(threads) + 2;
    // More threads than cores is allowed (earlier scripts' --jobs x --threads).
    tbb::global_control allowed(tbb::global_control::max_allowed_parallelism,
                                static_cast<size_t>(threads));
    tbb::task_arena arena(threads);
    arena.execute([&] {
      using Frame = FrameInFlight*;
      const auto stage = [this](void (Pipeline::*run)(FrameInFlight&)) {
        return [this, run](Frame t) { return RunStage(t, run); };
      };
      tbb::parallel_pipeline(
          maxInFlight,
          tbb::make_filter<void, Frame>(tbb::filter_mode::serial_in_order,
                                        [&](tbb::flow_control& fc) { return Open(fc); }) &
              tbb::make_filter<Frame, Frame>(tbb::filter_mode::parallel, stage(&Pipeline::Decode)) &
              tbb::make_filter<Frame, Frame>(tbb::filter_mode::parallel, stage(&Pipeline::Render)) &
              tbb::make_filter<Frame, Frame>(tbb::filter_mode::parallel, stage(&Pipeline::Encode)) &
              tbb::make_filter<Frame, void>(tbb::filter_mode::serial_in_order,
                                            [&](Frame t) { Report(t); }));
    });
    result_.stopSignal = StopSignal();
    return result_;
  }

 private:
  FrameInFlight* Open(tbb::flow_control& fc) {
    if (next_ == jobs_.size() || StopSignal() != 0) {
      fc.stop();
      return nullptr;
    }
    auto frame = std::make_unique<FrameInFlight>();
    frame->index = next_++;
    const FrameJob& job = jobs_[frame->index];
    if (options_.skipExisting && fs::exists(fs::symlink_status(job.output))) {
      frame->state = FrameState::skipped;
      return frame.release();
    }
    RunStage(frame.get(), &Pipeline::OpenFrame);
    return frame.release();
  }

  void OpenFrame(FrameInFlight& t) {
    const FrameJob& job = jobs_[t.index];
    t.reader = std::make_unique<FrameReader>(job.input);
    const FrameHeader& h = t.reader->header();
    for (const std::string& w : h.warnings) {
      t.warnings.push_back(FrameName(job) + job.input + ": " + w);
    }
    if (!shape_.set) {
      shape_ = SequenceShape{true, job.frame, h};
    } else if (h.width != shape_.header.width || h.height != shape_.header.height ||
               h.kind != shape_.header.kind) {
      throw CliError(job.input + " is " + Describe(h) + ", but the sequence is " +
                     Describe(shape_.header) + " (as frame " + std::to_string(shape_.frame) + ")");
    }
    t.plan = PlanOutput(h, job.output, options_);
    try {
      CheckFrameSize(h.width, h.height, options_.frame.rowPadding, RenderPixelBytes(t.plan.depth));
      // From the header, before any pixel memory of this frame exists.
      const FrameMemory need =
          t.reader->MemoryNeed(t.plan.depth, options_.frame.rowPadding, t.plan.layout.kind);
      CheckFrameMemory(need, options_.frame.maxFrameMemory, h.width, h.height, t.plan.depth);
    } catch (const CliError& e) {
      throw CliError(job.input + ": " + e.what());
    }
    OutputFolder(job.output);
  }

  // Runs one stage of a frame still being rendered; a failure is kept for
  // the report and the frame passes through the remaining stages untouched.
  FrameInFlight* RunStage(FrameInFlight* t, void (Pipeline::*stage)(FrameInFlight&)) {
    if (t == nullptr || t->state != FrameState::render) return t;
    const FrameJob& job = jobs_[t->index];
    try {
      if (StopSignal() != 0) throw StopRequested{};
      (this->*stage)(*t);
      return t;
    } catch (const StopRequested&) {
      t->state = FrameState::stopped;
    } catch (const CliError& e) {
      t->state = FrameState::failed;
      t->message = FrameName(job) + e.what();
    } catch (const std::bad_alloc&) {
      t->state = FrameState::failed;
      t->message = FrameName(job) + job.input + ": not enough memory for this frame";
    } catch (const std::exception& e) {
      t->state = FrameState::failed;
      t->message = FrameName(job) + job.input + ": " + e.what();
    }
    t->reader.reset();
    Release(*t);
    return t;
  }

  void Decode(FrameInFlight& t) {
    t.buffers = Acquire();
    const FrameHeader& h = t.reader->header();
    AtRenderDepth(t.plan.depth, [&]<class Pixel>(Pixel) {
      FrameBuffer<Pixel>& in =
          t.buffers->Frames<Pixel>(h.width, h.height, options_.frame.rowPadding).first;
      t.reader->ReadInto(in, t.buffers->scratch, t.plan.inputAlpha, times_);
    });
    t.reader.reset();  // closes the file
  }

  void Render(FrameInFlight& t) {
    StageTimer timer(times_, Stage::render);
    // A sequence with a frame for every thread keeps each thread busy with
    // frames of its own, and a frame's bands run one after another on its
    // thread; a shorter one shares the threads out among its frames. (Bands
    // run as parallel loops nested in the pipeline also made oneTBB's own
    // memory grow by a few kilobytes with every frame.)
    const size_t threads = static_cast<size_t>(std::max(1, options_.frame.threads));
    const int bandThreads = static_cast<int>(threads / std::min(threads, jobs_.size()));
    AtRenderDepth(t.plan.depth, [&]<class Pixel>(Pixel) {
      auto [in, out] = t.buffers->Frames<Pixel>();
      RenderFrame(host_, options_.settings, in, out, options_.throughModule, bandThreads);
    });
  }

  void Encode(FrameInFlight& t) {
    AtRenderDepth(t.plan.depth, [&]<class Pixel>(Pixel) {
      FrameBuffer<Pixel>& out = t.buffers->Frames<Pixel>().second;
      WriteFrame(jobs_[t.index].output, out, t.plan.layout, t.buffers->scratch, times_);
    });
    // Written: the next frame may have the buffers while this one waits for
    // its turn to be reported. So only the frames on a thread hold buffers.
    Release(t);
  }

  void Report(FrameInFlight* raw) {
    std::unique_ptr<FrameInFlight> t(raw);
    if (!t) return;
    const FrameJob& job = jobs_[t->index];
    for (const std::string& w : t->warnings) progress_.Warned(w);
    switch (t->state) {
      case FrameState::render:
        ++result_.written;
        progress_.Done(job.output);
        break;
      case FrameState::skipped:
        ++result_.skipped;
        progress_.Skipped(job.output);
        break;
      case FrameState::failed:
        ++result_.failed;
        progress_.Failed(t->message);
        break;
      case FrameState::stopped: break;
    }
    Release(*t);
  }

  std::unique_ptr<FrameBuffers> Acquire() {
    std::unique_ptr<FrameBuffers> b;
    if (!pool_.try_pop(b)) b = std::make_unique<FrameBuffers>();
    return b;
  }
  void Release(FrameInFlight& t) {
    if (t.buffers) pool_.push(std::move(t.buffers));
  }

  const modulehost::ModuleHost& host_;
  const std::vector<FrameJob>& jobs_;
  const SequenceOptions& options_;
  Progress& progress_;
  StageTimes* times_;
  size_t next_ = 0;        // the open stage's, which runs serially
  SequenceShape shape_;    // likewise
  SequenceResult result_;  // the report stage's, which runs serially
  tbb::concurrent_queue<std::unique_ptr<FrameBuffers>> pool_;
};

}  // namespace

SequenceResult RenderSequence(const modulehost::ModuleHost& host, const std::vector<FrameJob>& jobs,
                              const SequenceOptions& options, Progress& progress,
                              StageTimes* times) {
  return Pipeline(host, jobs, options, progress, times).Run();
}

}  // namespace corvalin::cli
