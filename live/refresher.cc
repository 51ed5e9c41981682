#include "live/refresher.h"

#include <chrono>
#include <exception>
#include <utility>

#include "gather/failures.h"
#include "gather/service_state.h"
#include "gather/snapshot.h"

namespace vt::live {
namespace {

bool same_file(const struct ::stat& a, const struct ::stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

double epoch_now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

Refresher::Refresher(RefreshSettings settings) : settings_(std::move(settings)) {
  settings_.scope.max = std::numeric_limits<std::uint64_t>::max();
  settings_.scope.keep_domains = true;
}

Refresher::~Refresher() {
  if (thread_.joinable()) stop();
}

void Refresher::publish(const std::function<void(Shown&)>& change) {
  const std::lock_guard lock(mutex_);
  change(shown_);
  ++shown_.generation;
}

void Refresher::step(bool force) {
  gather_step(force);
  publish([](Shown& s) { ++s.steps; });
}

void Refresher::gather_step(bool force) {
  const gather::ServiceState state = gather::check_stats_service(gather::kStatsPidPath);
  if (const auto stopped = gather::service_state_message(state)) {
    publish([&](Shown& s) { s.stats_state = *stopped; });
    return;
  }
  struct ::stat file {};
  const bool exists = ::stat(gather::kSnapshotPath, &file) == 0;
  const bool changed = !exists || !last_snapshot_ || !same_file(file, *last_snapshot_);
  if (!force && !changed) {
    if (shown().stats_state != "running") publish([](Shown& s) { s.stats_state = "running"; });
    return;
  }
  const double started = epoch_now();
  const bool names_due = !answers_ || started - shown().names_at >= kNamesSeconds;
  publish([&](Shown& s) {
    s.stats_state = "running";
    s.busy_since = started;
  });
  auto sources = gather::touch_and_gather(settings_.scope, settings_.caller, settings_.programs,
                                          names_due ? nullptr : &*answers_);
  if (exists) last_snapshot_ = file;
  if (!sources) {
    std::string failure = sources.error().message;
    for (const std::string& cause : sources.error().causes) failure += ": " + cause;
    publish([&](Shown& s) {
      s.failures = {std::move(failure)};
      s.busy_since.reset();
      ++s.snapshot_reads;
      s.refreshed_at = epoch_now();
    });
    return;
  }
  std::vector<std::string> failures;
  bool names_failed = false;
  for (const gather::SourceOutcome& outcome : sources->consulted) {
    if (outcome.failure.empty()) continue;
    names_failed |= outcome.source == gather::Source::panel_names ||
                    outcome.source == gather::Source::panel_admins;
    failures.push_back(std::string(gather::source_name(outcome.source).title) + ": " +
                       gather::failure_seen_by(settings_.caller, outcome));
  }
  double names_at = shown().names_at;
  if (!sources->panel_reused && !names_failed) {
    gather::PanelAnswers answers{
        .panel = sources->panel,
        .admins = sources->admins,
        .asked = {sources->visible_ids.begin(), sources->visible_ids.end()}};
    answers_ = std::move(answers);
    names_at = epoch_now();
  } else if (names_failed && answers_) {
    // The last good names stay on the screen.
    sources->panel = answers_->panel;
    sources->admins = answers_->admins;
  }
  auto frame = std::make_shared<const Frame>(
      frame_of(*sources, settings_.scope, settings_.caller, settings_.hide_mysql));
  publish([&](Shown& s) {
    s.frame = std::move(frame);
    s.failures = std::move(failures);
    s.names_at = names_at;
    s.busy_since.reset();
    ++s.snapshot_reads;
    s.refreshed_at = epoch_now();
  });
}

void Refresher::start(double delay) {
  delay_ = delay;
  thread_ = std::thread([this] { loop(); });
}

void Refresher::loop() {
  std::unique_lock lock(mutex_);
  bool first = true;
  while (!stopping_) {
    const bool force = forced_ || first;
    forced_ = false;
    first = false;
    lock.unlock();
    try {
      step(force);
    } catch (const std::exception& error) {
      // Most likely memory that could not be had; the next refresh may fare better.
      publish([&](Shown& s) {
        s.failures = {std::string("refresh: ") + error.what()};
        s.busy_since.reset();
      });
    }
    lock.lock();
    wake_.wait_for(lock, std::chrono::duration<double>(delay_),
                   [this] { return stopping_ || forced_; });
    wake_.wait(lock, [this] { return stopping_ || forced_ || !paused_; });
  }
}

void Refresher::refresh_now() {
  const std::lock_guard lock(mutex_);
  forced_ = true;
  wake_.notify_all();
}

void Refresher::set_paused(bool paused) {
  const std::lock_guard lock(mutex_);
  paused_ = paused;
  wake_.notify_all();
}

void Refresher::set_delay(double delay) {
  const std::lock_guard lock(mutex_);
  delay_ = delay;
  wake_.notify_all();
}

void Refresher::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

Shown Refresher::shown() const {
  const std::lock_guard lock(mutex_);
  return shown_;
}

}  // namespace vt::live
