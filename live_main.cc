#include "live/driver.h"

int main(int argc, char** argv) {
  return vt::live::run_live(argc, argv);
}
