// SPDX-License-Identifier: GPL-3.0-or-later
// ComposeTricolour: the order of steps of a composition run, and how frames
// are shared between two threads without changing a byte of the result.
//
// Threads: every light frame (red, then green, then blue, in list order) has
// an index. Each thread takes the next index, reads that frame when all
// earlier frames have been read (so reads, and the reader's trace file,
// follow the list order), cleans, calibrates and registers it on its own
// matrices, and adds it to the running mean when all earlier frames have
// been added (so every sum is formed in the plain order). The thread that
// adds the last frame of a channel also finishes the channel.
#include "tricolour/compose.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/fits_reader.h"
#include "core/numbers.h"
#include "core/parallel.h"
#include "filters/blooming.h"
#include "tricolour/calibration.h"
#include "tricolour/compose_options.h"
#include "tricolour/fast_transforms.h"
#include "tricolour/near_identity.h"
#include "tricolour/output_stage.h"
#include "tricolour/registration.h"

namespace qirm {
namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Progress values passed on only when they change.
class Progress {
 public:
  explicit Progress(const std::function<void(int)>& fn) : m_fn(fn) {}
  void Set(int value) {
    if (value == m_last) return;
    m_last = value;
    if (m_fn) m_fn(value);
  }
  // The values a pass over the columns sets, trunc(x / (w * 0.01)) for
  // x = 0 .. w - 1, in order.
  void Columns(const std::vector<int>& values) {
    for (int v : values) Set(v);
  }

 private:
  const std::function<void(int)>& m_fn;
  int m_last = -1;
};

std::vector<int> ColumnProgressValues(int w) {
  std::vector<int> values;
  for (int x = 0; x < w; ++x) {
    const int v = ColumnProgress(x, w);
    if (values.empty() || values.back() != v) values.push_back(v);
  }
  return values;
}

// Runs fn(x_begin, x_end) over the columns, in ColumnParts(threads, w)
// parts at the same time.
template <class Fn>
void ForColumnParts(int threads, int w, const Fn& fn) {
  const int parts = ColumnParts(threads, w);
  RunInParts(parts, [&](int k) {
    fn(static_cast<int>(PartStart(w, k, parts)), static_cast<int>(PartStart(w, k + 1, parts)));
  });
}

// The blooming removal of every light frame when the dialog's anti-blooming
// box is unchecked: saturated from 63000 in red and blue, from 60000 in
// green; streaks of more than 5 saturated elements; a smoothing median of
// radius 1. Checked, the dialog's threshold (all channels), length and
// thickness (the median radius) are used instead.
constexpr int kBloomThresholdRedBlue = 63000;
constexpr int kBloomThresholdGreen = 60000;
constexpr int kBloomStreakLength = 5;
constexpr int kBloomMedianRadius = 1;

// The progress values after each finished channel.
constexpr int kRedDoneProgress = 50;
constexpr int kGreenDoneProgress = 60;
constexpr int kBlueDoneProgress = 70;

struct Channel {
  const char* name;
  const std::vector<std::string>* files;
  int bloom_threshold;
  int bloom_length;
  int bloom_radius;
  bool hot_pixels;
  bool turn;
  bool flatten;
  int done_progress;
};

// Read and sign-shifted (the sizes were checked from the headers).
// `in_16_bits`, when given, tells whether the frame held 16-bit values,
// which the shift leaves in 0..65535.
Status ReadFrame(const std::string& path, IntMatrix& m, int threads = 0, bool* in_16_bits = nullptr) {
  FitsHeader header;
  Status s = ReadFitsFileSignShifted(path, header, m, threads);
  if (in_16_bits) *in_16_bits = s && header.bitpix == 16;
  return s;
}

// The setup's reads in their fixed order (the usable darks, the flats, the
// reference frame in two-star mode), followed by the first light frame.
// With two threads, taking one read starts the next on the second core, into
// the other of two matrices (the setup is done with that one by then), so
// each read overlaps the work on the frame before it; the reads themselves,
// and so the reader's traces, still come one after another in list order.
// On one thread each read is made when it is taken, into the first matrix.
class SetupReads {
 public:
  ~SetupReads() {
    if (m_reader.joinable()) m_reader.join();
  }
  // The setup's reads go into `first` alone, or, with `ahead`, into `first`
  // and `second` in turn, and then the light frame is read ahead too, into
  // `first` (where the stacking's first worker finds it).
  void Plan(std::vector<const std::string*> paths, const std::string* light, IntMatrix* first,
            IntMatrix* second, bool ahead, int read_threads) {
    m_paths = std::move(paths);
    m_ahead = ahead && !m_paths.empty();
    m_light = m_ahead;
    if (m_light) m_paths.push_back(light);
    const bool odd = m_paths.size() % 2 == 0;  // the light frame's read is odd
    m_buffers[0] = m_ahead && odd ? second : first;
    m_buffers[1] = m_ahead && odd ? first : second;
    m_read_threads = read_threads;
  }
  // Reads run on the second core.
  bool ahead() const { return m_ahead; }
  // The first light frame is the last read, not yet taken.
  bool light_ahead() const { return m_light && m_taken < static_cast<int>(m_paths.size()); }
  // True while a read runs on the second core: work on the frame just taken
  // keeps to one core meanwhile.
  bool reading() const { return m_reader.joinable(); }
  // The next read's matrix (after which the matrix taken before is free).
  Status Take(IntMatrix*& frame, bool* in_16_bits = nullptr) {
    const int i = m_taken++;
    frame = m_buffers[m_ahead ? i % 2 : 0];
    if (m_reader.joinable()) {
      m_reader.join();
    } else {
      m_status = Read(i, m_read_threads);
    }
    if (in_16_bits) *in_16_bits = m_in_16_bits;
    if (m_status && m_ahead && i + 1 < static_cast<int>(m_paths.size())) {
      try {
        m_reader = std::thread([this, i] { m_status = Read(i + 1, 1); });
      } catch (const std::system_error&) {
        // The rest in turn, into the matrix just taken; the stacking reads
        // the light frame itself.
        m_ahead = false;
        m_buffers[0] = frame;
        if (m_light) m_paths.pop_back();
        m_light = false;
      }
    }
    return m_status;
  }

 private:
  Status Read(int i, int threads) {
    return ReadFrame(*m_paths[i], *m_buffers[m_ahead ? i % 2 : 0], threads, &m_in_16_bits);
  }

  std::vector<const std::string*> m_paths;
  IntMatrix* m_buffers[2] = {nullptr, nullptr};
  bool m_ahead = false;
  bool m_light = false;
  int m_read_threads = 1;
  int m_taken = 0;
  std::thread m_reader;
  Status m_status;
  bool m_in_16_bits = false;
};

// The run's shared state.
struct Run {
  Run(const ComposeOptions& o, const CompositionSettings& s, Progress& p,
      const std::function<void(const std::string&)>& n)
      : options(o), settings(s), progress(p), notice(n) {}
  const ComposeOptions& options;
  const CompositionSettings& settings;
  Progress& progress;
  const std::function<void(const std::string&)>& notice;
  int w = 0, h = 0;
  int threads = 1;       // the run's threads (at most two)
  int workers = 1;       // threads stacking frames
  int darks_usable = 0;  // darks before the first one of another size
  // The threads of a read in the setup: the reader's own choice, or one for
  // a run on one thread.
  int ReadThreads() const { return threads > 1 ? 0 : 1; }
  StarRegistration registration = StarRegistration::kShiftOnStar1;
  StarDetection detection = StarDetection::kPeak;
  ClampedPositions positions;
  ReferenceGeometry geometry;
  DarkFrame dark;
  bool has_dark = false;
  FlatField flat;
  bool has_flat = false;
  std::vector<int> column_progress;
  std::vector<Channel> channels;
  IntMatrix finished[3];  // R, G, B (plain runs)
  ToneCurve curves[3];
  Picture picture;               // the result, a channel at a time
  Rgb16Picture deep;             // the same with 16 bits per channel, when kept
  std::vector<float> linear[3];  // the channels as toned, when kept
  // What is kept besides the picture of one finished channel m (its tone
  // curve already set). Channels may do this at once: each writes its own
  // samples. False when memory runs out.
  bool KeepExtras(int channel, const IntMatrix& m) {
    try {
      if (options.keep_16_bits) ToneInto16(deep, channel, m, w, h, curves[channel]);
      if (options.keep_linear) {
        std::vector<float>& plane = linear[channel];
        plane.resize(static_cast<std::size_t>(w) * h);
        for (int x = 0; x < w; ++x)
          for (int y = 0; y < h; ++y)
            plane[static_cast<std::size_t>(y) * w + x] = static_cast<float>(m[x][y]);
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  Picture spare;  // memory for the result's second copy in the document
  // The tone curve of a finished channel: its sky at the background point,
  // the channel's white-balance divisor, WhiteK and BackgroundLevel.
  ToneCurve CurveOf(int channel, const IntMatrix& m) const {
    const double divisors[3] = {settings.WhiteR, settings.WhiteG, settings.WhiteB};
    ToneCurve curve;
    curve.sky = SkyLevel(m, positions.background_x, positions.background_y);
    curve.divisor = divisors[channel];
    curve.gain = settings.WhiteK;
    curve.level = settings.BackgroundLevel;
    curve.kind = settings.Advanced.Tone;
    curve.parameter = settings.Advanced.ToneParameter();
    return curve;
  }
  // Made once and used twice: the setup's frame becomes the first worker's
  // frame and the dark mean's accumulator the channels' (freshly mapped
  // memory costs a page fault and zeroing on first touch). The workers'
  // frames, [worker][0], are made during the setup and touched then by a
  // helper thread; their scratch matrices, [worker][1], when needed.
  IntMatrix frames[2][2];
  IntMatrix& first_frame = frames[0][0];
  // Reads into frames[0][0] and frames[1][0] (so declared after them).
  SetupReads reads;
  RealMatrix acc;
  // False while the helper thread is still touching acc's pages, which it
  // does first (the dark mean waits for it before adding the first dark).
  std::atomic<bool> acc_ready{true};
  void WaitForAccumulator() { acc_ready.wait(false); }
  // Touches the stacking's matrices while the setup reads (last, so that
  // it is joined before anything it touches goes).
  std::jthread toucher;
};

// Touches every page of the matrices, so that the page faults and the
// kernel's zeroing happen here rather than in the first use.
template <class T>
void TouchPages(const std::vector<Matrix<T>*>& matrices) {
  for (Matrix<T>* m : matrices) {
    if (m->empty()) continue;
    const std::size_t n = static_cast<std::size_t>(m->count()) * m->n();
    T* p = (*m)[0];  // contiguous storage, all 0 as made
    for (std::size_t i = 0; i < n; i += 4096 / sizeof(T)) p[i] = 0;
  }
}

// ---------------------------------------------------------------------------

// One light frame from its read to its registration, on the worker's own
// matrices.
Status PrepareFrame(const Run& run, const Channel& channel, const std::string& path, bool in_16_bits,
                    IntMatrix& c, IntMatrix& scratch, Registration& reg, ComposeOptions::Timings& t) {
  const int w = run.w, h = run.h;
  auto mark = Clock::now();
  // One thread: two workers have a core each, and a run on one thread keeps
  // to one core.
  RemoveBlooming(channel.bloom_threshold, channel.bloom_length, channel.bloom_radius, w, h, c, 1);
  if (channel.hot_pixels) {
    if (run.options.plain)
      RemoveHotPixelsPlain(w, h, c);
    else
      RemoveHotPixels(w, h, c, in_16_bits);  // blooming removal keeps values in 0..65535
  }
  t.clean += Since(mark);
  mark = Clock::now();
  const DarkFrame* dark = run.has_dark ? &run.dark : nullptr;
  const FlatField* flat = run.has_flat ? &run.flat : nullptr;
  if (dark || flat) {
    if (run.options.plain)
      CalibratePlain(dark, flat, w, h, c);
    else
      Calibrate(dark, flat, w, h, c, 0, w);
  }
  if (channel.turn) Turn180(w, h, c);
  t.calibrate += Since(mark);
  mark = Clock::now();
  Status s = RegisterFrame(c, w, h, run.registration, run.positions, run.geometry, path, run.options.plain,
                           scratch, reg, /*defer=*/true, run.detection);
  t.register_ += Since(mark);
  return s;
}

// The frames of the three channels on `threads` threads (see the top).
class Stacker {
 public:
  Stacker(Run& run, int threads) : m_run(run), m_threads(threads) {
    for (int c = 0; c < 3; ++c) {
      for (int k = 0; k < static_cast<int>(run.channels[c].files->size()); ++k) m_frames.push_back({c, k});
    }
    m_stop = static_cast<int>(m_frames.size());
    m_light_ahead = run.reads.light_ahead();
  }

  Status Stack(ComposeOptions::Timings& timings) {
    std::vector<ComposeOptions::Timings> per(m_threads);
    RunInParts(m_threads, [&](int worker) { Worker(worker, per[worker]); });
    for (const auto& p : per) {
      timings.read += p.read;
      timings.clean += p.clean;
      timings.calibrate += p.calibrate;
      timings.register_ += p.register_;
      timings.accumulate += p.accumulate;
      timings.channel_end += p.channel_end;
    }
    if (m_error_index < static_cast<int>(m_frames.size())) return m_error;
    return Status::Ok();
  }

 private:
  struct FrameRef {
    int channel;
    int k;
  };

  void Fail(int index, const Status& s) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < m_error_index) {
      m_error_index = index;
      m_error = s;
    }
    m_stop = std::min(m_stop, index);
    m_changed.notify_all();
  }

  // Waits until `turn` reaches index; false when the run stops before it.
  bool WaitTurn(const int& turn, int index) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return turn == index || index >= m_stop; });
    return index < m_stop;
  }

  bool IsTurn(const int& turn, int index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return turn == index;
  }

  void Advance(int& turn) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++turn;
    m_changed.notify_all();
  }

  void Worker(int worker, ComposeOptions::Timings& t) {
    const int w = m_run.w, h = m_run.h;
    // The light frame read ahead is in frames[0][0]: the worker that takes
    // the first frame takes that matrix with it, in one step (both
    // matrices are made then).
    int slot = worker % 2;
    int index = -1;
    if (m_light_ahead) {
      std::lock_guard<std::mutex> lock(m_mutex);
      slot = m_slots++ % 2;
      if (m_next < m_stop) index = m_next++;
    }
    IntMatrix own, own_scratch;
    IntMatrix& made = m_run.frames[slot][0];
    const bool reuse = made.count() == w && made.n() == h;
    IntMatrix& c = reuse ? made : own;
    IntMatrix& scratch = m_run.frames[slot][1].empty() ? own_scratch : m_run.frames[slot][1];
    if (!reuse && !c.Allocate(w, h)) {
      // Another thread may still carry the run; only a lone thread fails.
      std::lock_guard<std::mutex> lock(m_mutex);
      if (++m_failed_workers == m_threads) {
        m_error_index = 0;
        m_error = Status::Error("no memory for a frame of " + FormatInt(w) + " x " + FormatInt(h));
        m_stop = 0;
        m_changed.notify_all();
      }
      return;
    }
    for (;; index = -1) {
      if (index < 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_next >= m_stop) return;
        index = m_next++;
      }
      const FrameRef f = m_frames[index];
      const Channel& channel = m_run.channels[f.channel];
      const std::string& path = (*channel.files)[f.k];

      if (!WaitTurn(m_read_turn, index)) return;
      auto mark = Clock::now();
      // The other worker has the other core, except while it waits for the
      // first read; a run on one thread keeps to one core.
      bool in_16_bits = false;
      Status s = Status::Ok();
      if (index == 0 && m_light_ahead) {
        IntMatrix* read = nullptr;  // frames[0][0], which is c (see above)
        s = m_run.reads.Take(read, &in_16_bits);
      } else {
        s = ReadFrame(path, c, m_threads > 1 && index == 0 ? 0 : 1, &in_16_bits);
      }
      t.read += Since(mark);
      Advance(m_read_turn);
      Registration reg;
      if (s) s = PrepareFrame(m_run, channel, path, in_16_bits, c, scratch, reg, t);
      if (s && reg.rotation_pending && m_threads > 1 && !IsTurn(m_acc_turn, index)) {
        // With two workers, while the other one still has the mean, the
        // rotation is done here, outside the turn, so that it overlaps the
        // other worker's sum: only the sum itself waits. (When the turn has
        // come already, as alone, the turned columns go straight into the
        // mean, which saves a pass over the frame; the bytes are the same.)
        mark = Clock::now();
        if (Status r = RotateAboutCentre(reg.theta, w, h, c, scratch); !r)
          s = Status::Error(path + ": " + r.message());
        reg.rotation_pending = false;
        t.register_ += Since(mark);
      }
      if (!s) {
        Fail(index, s);
        return;
      }

      if (!WaitTurn(m_acc_turn, index)) return;
      if (m_run.options.registered) m_run.options.registered(f.channel, f.k, reg);
      mark = Clock::now();
      const int n = static_cast<int>(channel.files->size());
      if (m_run.options.plain) {
        AccumulatePlain(c, reg.ox, reg.oy, n, w, h, m_acc, 0, w);
      } else if (reg.rotation_pending) {
        // The turned frame's columns go into the mean as they are done.
        const bool done = near_identity::ApplyTo(
            RotateMap(reg.theta, w, h), w, h, c, [&](int X, const std::int32_t* column) {
              AccumulateFrameColumn(column, X, reg.ox, reg.oy, n, w, h, m_acc);
            });
        // Declined before handing anything on (a ring too large): turn the
        // frame itself first.
        if (!done) {
          if (Status r = RotateAboutCentre(reg.theta, w, h, c, scratch); !r) {
            Fail(index, Status::Error(path + ": " + r.message()));
            return;
          }
          Accumulate(c, reg.ox, reg.oy, n, w, h, m_acc, 0, w);
        }
      } else {
        Accumulate(c, reg.ox, reg.oy, n, w, h, m_acc, 0, w);
      }
      m_run.progress.Columns(m_run.column_progress);
      t.accumulate += Since(mark);
      const bool channel_done = f.k == n - 1;
      // After the last frame the other worker is idle: the channel's end
      // takes both cores.
      const int end_threads = index + 1 == static_cast<int>(m_frames.size()) ? m_threads : 1;
      if (channel_done) {
        mark = Clock::now();
        FinishChannel(f.channel, c, end_threads);
        t.channel_end += Since(mark);
      }
      Advance(m_acc_turn);
      if (channel_done && !m_run.options.plain) {
        mark = Clock::now();
        ToneFinished(f.channel, c, end_threads);
        t.channel_end += Since(mark);
      }
    }
  }

  // C = trunc(acc), the optional flattening, the channel's progress value;
  // the accumulator is cleared for the next channel. The plain run keeps C
  // for the output stage; otherwise C is formed in the worker's frame (done
  // with by now), its sky measured and its tone curve applied straight into
  // the picture, so no channel has to be kept.
  void FinishChannel(int channel, IntMatrix& frame, int threads) {
    const int w = m_run.w, h = m_run.h;
    IntMatrix& out = m_run.options.plain ? m_run.finished[channel] : frame;
    if ((out.count() != w || out.n() != h) && !out.Allocate(w, h)) {
      Fail(static_cast<int>(m_frames.size()) - 1, Status::Error("no memory for a finished channel"));
      return;
    }
    // The accumulator is cleared for the next channel column by column as it
    // is read, while the column is still in cache (not after the last frame).
    const bool clear = channel < 2;
    ForColumnParts(threads, w, [&](int x0, int x1) {
      for (int x = x0; x < x1; ++x) {
        TruncateMean(m_acc, w, h, out, x, x + 1);
        if (clear) std::fill(m_acc[x], m_acc[x] + h, 0.0);
      }
    });
    if (m_run.options.plain) {
      if (m_run.channels[channel].flatten) FlattenBackgroundPlain(w, h, out);
      m_run.curves[channel] = m_run.CurveOf(channel, out);
    } else if (m_run.picture.width() != w || m_run.picture.height() != h) {
      m_run.picture = Picture(w, h);
    }
    if (m_run.options.keep_16_bits && (m_run.deep.width != w || m_run.deep.height != h)) {
      try {
        m_run.deep = Rgb16Picture(w, h);
      } catch (const std::bad_alloc&) {
        Fail(static_cast<int>(m_frames.size()) - 1, Status::Error("no memory for the 16-bit result"));
        return;
      }
    }
    m_run.progress.Set(m_run.channels[channel].done_progress);
  }

  // The rest of a finished channel, C in the worker's frame, once the mean
  // has moved on: the flattening, its tone curve, its bytes of the picture
  // (each channel its own bytes, so two workers may do this at once).
  void ToneFinished(int channel, IntMatrix& frame, int threads) {
    const int w = m_run.w, h = m_run.h;
    if (m_run.channels[channel].flatten) FlattenBackground(w, h, frame);
    m_run.curves[channel] = m_run.CurveOf(channel, frame);
    ToneInto(m_run.picture, channel, frame, w, h, m_run.curves[channel], threads);
    if (!m_run.KeepExtras(channel, frame)) {
      Fail(static_cast<int>(m_frames.size()) - 1, Status::Error("no memory for the 16-bit or linear result"));
    }
  }

  Run& m_run;
  int m_threads;
  std::vector<FrameRef> m_frames;
  RealMatrix& m_acc = m_run.acc;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_next = 0;
  bool m_light_ahead = false;  // the first frame was read during the setup
  int m_slots = 0;             // the workers' matrices handed out
  int m_read_turn = 0;
  int m_acc_turn = 0;
  int m_stop = 0;
  int m_error_index = 1 << 30;
  int m_failed_workers = 0;
  Status m_error;
};

// ---------------------------------------------------------------------------

// The output picture by the plain route: each channel toned into bytes,
// then the bytes into the picture.
Picture PlainPicture(const IntMatrix (&channels)[3], int w, int h, const ToneCurve (&curves)[3]) {
  std::vector<std::uint8_t> bytes[3];
  for (int c = 0; c < 3; ++c) ToneChannel(channels[c], w, h, curves[c], bytes[c]);
  return ChannelsToPicture(w, h, bytes[0], bytes[1], bytes[2]);
}

std::string SizeText(int w, int h) { return FormatInt(w) + " x " + FormatInt(h); }

Status CheckSize(const std::string& path, const char* role, int w, int h) {
  FitsHeader header;
  if (Status s = CheckFitsHeader(path, header); !s) return s;
  if (header.width != w || header.height != h) {
    return Status::Error(path + ": the " + std::string(role) + " frame is " +
                         SizeText(header.width, header.height) + ", the first green frame " + SizeText(w, h) +
                         "; all frames must have one size");
  }
  return Status::Ok();
}

}  // namespace

Status CheckCompositionSettings(const CompositionSettings& s) {
  const std::pair<const char*, const std::vector<std::string>*> lists[] = {{"red", &s.RedFiles},
                                                                           {"green", &s.GreenFiles},
                                                                           {"blue", &s.BlueFiles},
                                                                           {"dark", &s.DarkFiles},
                                                                           {"flat", &s.FlatFiles}};
  for (const auto& [name, files] : lists) {
    if (static_cast<int>(files->size()) > kMaxFramesPerList) {
      return Status::Error("the " + std::string(name) + " list holds " + FormatInt(files->size()) +
                           " frames; at most " + FormatInt(kMaxFramesPerList) + " are allowed");
    }
    for (const std::string& path : *files) {
      if (static_cast<int>(path.size()) > kMaxPathBytes) {
        return Status::Error(path + ": the path is " + FormatInt(path.size()) + " bytes long; at most " +
                             FormatInt(kMaxPathBytes) + " are allowed");
      }
    }
  }
  const std::pair<const char*, double> divisors[] = {
      {"WhiteR (R =)", s.WhiteR}, {"WhiteG (G =)", s.WhiteG}, {"WhiteB (B =)", s.WhiteB}};
  for (const auto& [name, value] : divisors) {
    if (value == 0) return Status::Error(std::string(name) + " is 0: a white-balance divisor must not be 0");
    if (!std::isfinite(value)) return Status::Error(std::string(name) + " is not a finite number");
  }
  if (!std::isfinite(s.WhiteK)) return Status::Error("WhiteK (K =) is not a finite number");
  const AdvancedFlags& a = s.Advanced;
  if (std::string problem = ToneParameterProblem(a.Tone, a.ToneParameter()); !problem.empty())
    return Status::Error(problem);
  if (a.AntiBloomingOn) {
    if (a.BloomThreshold < 1)
      return Status::Error("the blooming threshold is " + FormatInt(a.BloomThreshold) +
                           "; it must be at least 1");
    if (a.BloomThickness < 0 || a.BloomThickness > kMaxBloomThickness) {
      return Status::Error("the blooming thickness is " + FormatInt(a.BloomThickness) + "; it must be 0.." +
                           FormatInt(kMaxBloomThickness));
    }
    if (a.BloomLength < 0)
      return Status::Error("the blooming length is " + FormatInt(a.BloomLength) + "; it must be 0 or more");
  }
  return Status::Ok();
}

void ApplyCompositionMainState(MainState& main) {
  // The edits take the levels without their change handler: the active
  // window's levels stay as they are.
  main.zoom = 1.0;
  main.max_edit.Set(255);
  main.min_edit.Set(0);
  main.max_spin = 255;
  main.min_spin = 0;
}

void FillCompositionDocument(Picture picture, ImageDocument& doc) {
  FillCompositionDocument(std::move(picture), Picture(), doc);
}

void FillCompositionDocument(Picture picture, Picture spare, ImageDocument& doc) {
  spare = picture;  // into the spare's memory when it has the size
  doc.ImageZm = std::move(picture);
  FillCompositionDocumentImageOnly(std::move(spare), doc);
}

void FillCompositionDocumentImageOnly(Picture picture, ImageDocument& doc) {
  Picture base = std::move(doc.ImageZm);
  FillPictureDocument(std::move(picture), std::move(base), 3, doc);
}

Status ComposeTricolour(const CompositionSettings& settings, const std::function<void(int)>& progress,
                        ImageDocument& result, MainState* main,
                        const std::function<void(const std::string&)>& notice) {
  return ComposeTricolourWith(ComposeOptions(), settings, progress, result, main, notice);
}

namespace {

// The threads of a run: ComposeOptions::threads when given, else two when
// the machine has two; one for the plain run.
int RunThreads(const ComposeOptions& options) {
  if (options.plain) return 1;
  return std::min(options.threads > 0 ? options.threads : HardwareThreads(), 2);
}

// The frame size from the first green frame's header; every light frame
// and every flat must have it (checked from the headers before any pixel is
// read). Darks count up to the first one of another size.
Status CheckFrameSizes(Run& run) {
  const CompositionSettings& settings = run.settings;
  {
    FitsHeader header;
    if (Status s = ReadFitsHeader(settings.GreenFiles[0], header); !s) return s;
    run.w = header.width;
    run.h = header.height;
  }
  const int w = run.w, h = run.h;
  if (w < 11 || h < 11) {
    return Status::Error(settings.GreenFiles[0] + ": the first green frame is " + SizeText(w, h) +
                         "; a composition needs frames of at least 11 x 11 pixels");
  }
  for (const auto& [files, role] :
       {std::pair{&settings.RedFiles, "red"}, std::pair{&settings.GreenFiles, "green"},
        std::pair{&settings.BlueFiles, "blue"}}) {
    for (const std::string& path : *files)
      if (Status s = CheckSize(path, role, w, h); !s) return s;
  }
  for (const std::string& path : settings.FlatFiles)
    if (Status s = CheckSize(path, "flat", w, h); !s) return s;
  const int nd = static_cast<int>(settings.DarkFiles.size());
  run.darks_usable = nd;
  for (int k = 0; k < nd; ++k) {
    FitsHeader header;
    if (Status s = CheckFitsHeader(settings.DarkFiles[k], header); !s) return s;
    if (header.width != w || header.height != h) {
      run.darks_usable = k;
      break;
    }
  }
  return Status::Ok();
}

// The reads of the setup and the first light frame (see SetupReads); the
// light frame is read ahead only when something is read before it.
void PlanSetupReads(Run& run) {
  const CompositionSettings& settings = run.settings;
  std::vector<const std::string*> paths;
  for (int k = 0; k < run.darks_usable; ++k) paths.push_back(&settings.DarkFiles[k]);
  for (const std::string& path : settings.FlatFiles) paths.push_back(&path);
  if (run.registration == StarRegistration::kTwoStars) paths.push_back(&settings.GreenFiles[0]);
  const IntMatrix& second = run.frames[1][0];
  const bool ahead = run.threads > 1 && second.count() == run.w && second.n() == run.h;
  run.reads.Plan(std::move(paths), &settings.RedFiles[0], &run.frames[0][0], &run.frames[1][0], ahead,
                 run.ReadThreads());
}

// The setup's frame and the accumulator; the stacking's other matrices,
// made now where memory allows (else the workers make them) and touched on
// the other core while the setup reads. (The transforms work over the frame
// itself for the maps of one night's frames, so the scratch matrices are
// made only when one is needed.)
Status AllocateRun(Run& run) {
  const int w = run.w, h = run.h;
  if (!run.first_frame.Allocate(w, h)) return Status::Error("no memory for a frame of " + SizeText(w, h));
  if (!run.acc.Allocate(w, h)) return Status::Error("no memory for the channel accumulator");
  if (run.threads > 1) run.frames[1][0].Allocate(w, h);  // the second worker's frame
  PlanSetupReads(run);
  std::vector<IntMatrix*> later;
  // Unless the setup reads into it (which touches its pages as well).
  if (run.threads > 1 && !run.reads.ahead()) later.push_back(&run.frames[1][0]);
  if (run.threads > 1) {
    try {
      // The accumulator first: the first dark is added to it as soon as it
      // is read, while the other matrices wait longer for their first use.
      // Then the result's picture and the memory of its copy, made here too.
      run.acc_ready = false;
      run.toucher = std::jthread([later, &run, w, h, copy = run.options.display_copy] {
        TouchPages(std::vector<RealMatrix*>{&run.acc});
        run.acc_ready = true;
        run.acc_ready.notify_all();
        TouchPages(later);
        run.picture = Picture(w, h);
        if (copy) run.spare = Picture(w, h);
      });
    } catch (const std::system_error&) {
      run.acc_ready = true;
    }
  }
  return Status::Ok();
}

// Adds a frame to a mean on the run's threads, or on this one while the
// next read has the other core.
void AddFrameToMean(Run& run, const IntMatrix& frame, int count) {
  const int w = run.w, h = run.h;
  if (run.reads.reading()) {
    AddToMean(frame, count, w, h, run.acc, 0, w);
  } else {
    ForColumnParts(run.threads, w, [&](int x0, int x1) { AddToMean(frame, count, w, h, run.acc, x0, x1); });
  }
}

// The mean of the usable darks, kept as the run's dark frame; the
// accumulator is left at 0 for the channels. "Resolution Error !!" is
// noticed once when a dark of another size ends the list early. Every
// element of the mean receives the darks in list order.
Status DarkMean(Run& run) {
  const CompositionSettings& settings = run.settings;
  const int w = run.w, h = run.h;
  const int nd = static_cast<int>(settings.DarkFiles.size());
  if (nd == 0) return Status::Ok();
  const int usable = run.darks_usable;
  RealMatrix& acc = run.acc;
  for (int k = 0; k < usable; ++k) {
    IntMatrix* frame = nullptr;
    if (Status s = run.reads.Take(frame); !s) return s;
    if (k == 0) run.WaitForAccumulator();
    AddFrameToMean(run, *frame, nd);
    run.progress.Columns(run.column_progress);
  }
  if (usable < nd && run.notice) run.notice("Resolution Error !!");
  if (!run.dark.FromMean(acc, w, h, run.threads, /*clear=*/true))
    return Status::Error("no memory for the dark mean");
  run.has_dark = true;
  return Status::Ok();
}

// The flat of the run: the one flat frame, or the mean of several as the
// darks are averaged (each added divided by their count, the sum truncated),
// through the accumulator, which is left at 0 for the channels.
Status FlatMean(Run& run) {
  const CompositionSettings& settings = run.settings;
  const int nf = static_cast<int>(settings.FlatFiles.size());
  if (nf == 0) return Status::Ok();
  const int w = run.w, h = run.h;
  IntMatrix* frame = nullptr;
  if (Status s = run.reads.Take(frame); !s) return s;
  if (nf > 1) {
    run.WaitForAccumulator();
    RealMatrix& acc = run.acc;
    for (int k = 0; k < nf; ++k) {
      if (k > 0) {
        if (Status s = run.reads.Take(frame); !s) return s;
      }
      AddFrameToMean(run, *frame, nf);
    }
    ForColumnParts(run.threads, w, [&](int x0, int x1) {
      TruncateMean(acc, w, h, *frame, x0, x1);
      for (int x = x0; x < x1; ++x) std::fill(acc[x], acc[x] + h, 0.0);
    });
  }
  if (!run.flat.Build(*frame, w, h, run.threads)) {
    const std::string what = nf > 1 ? "the mean of the " + FormatInt(nf) + " flats" : settings.FlatFiles[0];
    return Status::Error(what + ": the flat's largest value is " + FormatGeneral(run.flat.fmax()) +
                         "; a flat must have values above 0");
  }
  run.has_flat = true;
  return Status::Ok();
}

// The clamped star and background positions and, in two-star mode, the
// geometry of the reference frame (the first green frame, dark subtracted).
Status ReferenceStars(Run& run) {
  const CompositionSettings& settings = run.settings;
  run.positions = ClampPositions(settings, run.w, run.h);
  if (run.registration != StarRegistration::kTwoStars) return Status::Ok();
  const std::string& path = settings.GreenFiles[0];
  IntMatrix* frame = nullptr;
  if (Status s = run.reads.Take(frame); !s) return s;
  if (run.has_dark) SubtractDark(run.dark, run.w, run.h, *frame, run.reads.reading() ? 1 : run.threads);
  if (Status s = MeasureReferenceGeometry(*frame, run.w, run.h, run.positions, path, run.geometry); !s)
    return s;
  run.progress.Set(40);
  return Status::Ok();
}

// Everything before the first light frame, in its fixed order.
Status SetUp(Run& run) {
  if (Status s = CheckFrameSizes(run); !s) return s;
  if (Status s = AllocateRun(run); !s) return s;
  run.column_progress = ColumnProgressValues(run.w);
  run.progress.Set(30);
  if (Status s = DarkMean(run); !s) return s;
  if (Status s = FlatMean(run); !s) return s;
  run.progress.Set(20);
  return ReferenceStars(run);
}

// Red, then green, then blue, each frame into its channel's mean; each
// finished channel toned into the picture (or kept, in the plain run).
Status StackChannels(Run& run, ComposeOptions::Timings& timings) {
  const AdvancedFlags& a = run.settings.Advanced;
  const bool own = a.AntiBloomingOn;
  const int length = own ? a.BloomLength : kBloomStreakLength;
  const int radius = own ? a.BloomThickness : kBloomMedianRadius;
  run.channels = {
      {"red", &run.settings.RedFiles, own ? a.BloomThreshold : kBloomThresholdRedBlue, length, radius, true,
       a.Rotate180R, a.FlattenR, kRedDoneProgress},
      {"green", &run.settings.GreenFiles, own ? a.BloomThreshold : kBloomThresholdGreen, length, radius,
       false, a.Rotate180G, a.FlattenG, kGreenDoneProgress},
      {"blue", &run.settings.BlueFiles, own ? a.BloomThreshold : kBloomThresholdRedBlue, length, radius,
       false, a.Rotate180B, a.FlattenB, kBlueDoneProgress},
  };
  if (run.toucher.joinable()) run.toucher.join();
  run.workers = run.threads;
  Stacker stacker(run, run.threads);
  return stacker.Stack(timings);
}

// The colour picture into the result document, after everything else has
// gone back (the result's copy can then take memory just given back instead
// of fresh pages); the main window's texts; the closing progress values.
Status Output(Run& run, ImageDocument& result, MainState* main) {
  const int w = run.w, h = run.h;
  Picture picture = run.options.plain ? PlainPicture(run.finished, w, h, run.curves) : std::move(run.picture);
  if (run.options.plain) {
    for (int c = 0; c < 3; ++c) {
      if (!run.KeepExtras(c, run.finished[c]))
        return Status::Error("no memory for the 16-bit or linear result");
    }
  }
  for (IntMatrix& m : run.finished) m.Release();
  for (auto& pair : run.frames)
    for (IntMatrix& m : pair) m.Release();
  run.acc.Release();
  run.dark = DarkFrame();
  run.flat = FlatField();
  run.progress.Set(90);
  run.progress.Set(100);
  if (run.options.display_copy) {
    FillCompositionDocument(std::move(picture), std::move(run.spare), result);
  } else {
    FillCompositionDocumentImageOnly(std::move(picture), result);
  }
  result.deep = std::move(run.deep);
  for (int c = 0; c < 3; ++c) result.linear[c] = std::move(run.linear[c]);
  if (main) ApplyCompositionMainState(*main);
  run.progress.Set(100);
  run.progress.Set(0);
  return Status::Ok();
}

}  // namespace

Status ComposeTricolourWith(const ComposeOptions& options, const CompositionSettings& settings,
                            const std::function<void(int)>& progress_fn, ImageDocument& result,
                            MainState* main, const std::function<void(const std::string&)>& notice) {
  const auto start = Clock::now();
  ComposeOptions::Timings timings;
  Progress progress(progress_fn);
  if (settings.RedFiles.empty() || settings.GreenFiles.empty() || settings.BlueFiles.empty()) {
    return Status::Ok();
  }
  if (Status s = CheckCompositionSettings(settings); !s) return s;
  progress.Set(10);

  Run run{options, settings, progress, notice};
  run.threads = RunThreads(options);
  run.registration = StarRegistrationOf(settings.StarMode);
  run.detection = StarDetectionOf(settings.DetectMethod);
  if (Status s = SetUp(run); !s) return s;
  timings.setup = Since(start);

  if (Status s = StackChannels(run, timings); !s) return s;

  const auto output_start = Clock::now();
  if (Status s = Output(run, result, main); !s) return s;
  timings.output = Since(output_start);
  timings.total = Since(start);
  if (options.timings) *options.timings = timings;
  return Status::Ok();
}

}  // namespace qirm
