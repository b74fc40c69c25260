// The interactive program.
#include <allegro.h>

#include "app/app.h"

int main(int argc, char** argv) {
  ProgramOptions options;
  const int status = parseOptions(argc, argv, options);
  if (status >= 0) return status;
  return runProgram(options);
}
END_OF_MAIN()
