// The interactive program.
#include <allegro.h>

#include "app/app.h"

int main() { return runProgram(); }
END_OF_MAIN()
