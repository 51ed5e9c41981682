#include "cli/driver.h"

int main(int argc, char** argv) {
  return vt::cli::run(argc, argv);
}
