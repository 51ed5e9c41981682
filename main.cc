#include "report/driver.h"

int main(int argc, char** argv) {
  return vt::report::run(argc, argv);
}
