#include "cli/metrics_driver.h"

int main(int argc, char** argv) {
  return vt::cli::run_metrics(argc, argv);
}
