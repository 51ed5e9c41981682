#include "metrics/driver.h"

int main(int argc, char** argv) {
  return vt::metrics::run_metrics(argc, argv);
}
