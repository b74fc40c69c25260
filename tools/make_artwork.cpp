// make-artwork <outdir>: draws the program's background picture, mouse
// pointer and font and writes them as bg.bmp, cursor.bmp and spacefont.pcx.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <outdir>\n", argv[0]);
    return 2;
  }
  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
    std::fprintf(stderr, "make-artwork: cannot start Allegro\n");
    return 1;
  }
  std::string failed;
  if (!artwork::writeArtwork(argv[1], &failed)) {
    std::fprintf(stderr, "make-artwork: cannot write %s\n", failed.c_str());
    return 1;
  }
  return 0;
}
END_OF_MAIN()
