#pragma once
// Diagnostic events of the core services, and the one receiver they go to.
//
// Nothing is installed by default, so events are dropped: the command prints
// only its report. A caller that wants the events (tests, a future log)
// installs a receiver. The receiver is process-wide and not synchronised; it
// is meant to be set on the main thread before the services run.
#include <functional>
#include <string>
#include <string_view>

namespace vt::core {

enum class DiagnosticLevel { error, warn, info, debug, trace };

struct Diagnostic {
  DiagnosticLevel level = DiagnosticLevel::info;
  std::string_view target;  ///< the emitting unit, e.g. "kobstats_core::config"
  std::string message;
};

using DiagnosticReceiver = std::function<void(const Diagnostic&)>;

/// Installs `receiver` (an empty one drops events) and returns the previous one.
DiagnosticReceiver set_diagnostic_receiver(DiagnosticReceiver receiver);

/// Hands `event` to the installed receiver, if there is one.
void emit_diagnostic(const Diagnostic& event);

}  // namespace vt::core
