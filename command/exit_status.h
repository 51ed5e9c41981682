#pragma once

namespace vt::command {

enum ExitStatus : int {
  kExitSuccess = 0,  ///< a report, a stopped service, help, version, the KOB notice
  kExitFailure = 1,  ///< a refused caller, a missing --json, a fatal error
  kExitUsage = 2,    ///< a usage error on the command line
};

}  // namespace vt::command
