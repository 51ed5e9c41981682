#include "core/diagnostics.h"

#include <utility>

namespace vt::core {
namespace {

DiagnosticReceiver& installed() {
  static DiagnosticReceiver receiver;
  return receiver;
}

}  // namespace

DiagnosticReceiver set_diagnostic_receiver(DiagnosticReceiver receiver) {
  return std::exchange(installed(), std::move(receiver));
}

void emit_diagnostic(const Diagnostic& event) {
  if (const auto& receiver = installed()) receiver(event);
}

}  // namespace vt::core
