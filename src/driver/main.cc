// recsift: select, copy, convert and print records under control statements.
#include "driver/driver.h"

int main(int argc, char** argv) {
  return recsift::driver::run(argc, argv);
}
