#pragma once
// Keeps the live view's frame current: re-reads the snapshot when it
// changed, asks the panel for names when they are due, and never makes the
// screen wait for a helper.
#include <sys/stat.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gather/access.h"
#include "gather/scope.h"
#include "gather/sources.h"
#include "live/frame.h"

namespace vt::live {

/// Seconds since the Unix epoch, with their fraction: the clock of every
/// time the view shows.
double epoch_now();

/// How long the panel's names are kept before they are asked for again.
inline constexpr double kNamesSeconds = 60;

/// What the view shows, as of the last refresh.
struct Shown {
  std::shared_ptr<const Frame> frame;   ///< the last good frame; null before the first
  std::string stats_state = "running";  ///< or the statistics service's status text
  std::vector<std::string> failures;    ///< what failed in the last refresh
  double refreshed_at = 0.0;            ///< when the last refresh ended
  double names_at = 0.0;                ///< when the panel last gave the names
  std::optional<double> busy_since;     ///< a refresh under way, since then
  std::uint64_t snapshot_reads = 0;     ///< snapshot reads so far
  std::uint64_t steps = 0;              ///< refreshes so far, with a read or not
  std::uint64_t generation = 0;         ///< grows with every change of the above
};

struct RefreshSettings {
  gather::Scope scope;
  gather::CallerIdentity caller;
  gather::Programs programs;
  bool hide_mysql = false;
};

class Refresher {
 public:
  explicit Refresher(RefreshSettings settings);
  ~Refresher();
  Refresher(const Refresher&) = delete;
  Refresher& operator=(const Refresher&) = delete;

  /// One refresh in the calling thread: checks the service, and gathers
  /// when the snapshot changed since the last one, or always with `force`.
  void step(bool force);

  /// Refreshes in a thread of its own every `delay` seconds from now on.
  /// The caller blocks SIGCHLD and base::ending_signals() before this and
  /// keeps SIGCHLD blocked: the thread's helpers need their ends. A refresh
  /// that throws is noted as a failure.
  void start(double delay);
  void refresh_now();
  void set_paused(bool paused);
  void set_delay(double delay);
  /// Ends the thread once its refresh is done: after base::end_programs,
  /// at once.
  void stop();

  Shown shown() const;

 private:
  void loop();
  void gather_step(bool force);
  void publish(const std::function<void(Shown&)>& change);

  RefreshSettings settings_;
  std::optional<gather::PanelAnswers> answers_;
  std::optional<struct ::stat> last_snapshot_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Shown shown_;
  double delay_ = 5;
  bool paused_ = false;
  bool forced_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace vt::live
