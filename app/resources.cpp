// Start-up pictures and the font are read through the library's loaders,
// which take a file that ends too early as complete: the rest of the picture
// simply comes out as zeros. Before a file is loaded for use, it is read
// once from memory through a packfile that notes every read past its end,
// so a cut-short or damaged file is refused rather than shown half-drawn.
#include <allegro.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/app.h"

namespace {

struct MemoryFile {
  const std::vector<unsigned char>* bytes;
  long position;
  bool overran;
};

int memClose(void*) { return 0; }

int memGetc(void* data) {
  auto* f = static_cast<MemoryFile*>(data);
  if (f->position >= (long)f->bytes->size()) {
    f->overran = true;
    return EOF;
  }
  return (*f->bytes)[(size_t)f->position++];
}

int memUngetc(int c, void* data) {
  auto* f = static_cast<MemoryFile*>(data);
  if (f->position <= 0) return EOF;
  --f->position;
  return c;
}

long memRead(void* p, long n, void* data) {
  auto* f = static_cast<MemoryFile*>(data);
  if (n <= 0) return 0;
  long left = (long)f->bytes->size() - f->position;
  long count = n < left ? n : left;
  if (count < n) f->overran = true;
  if (count > 0) std::memcpy(p, f->bytes->data() + f->position, (size_t)count);
  f->position += count;
  return count;
}

int memPutc(int, void*) { return EOF; }
long memWrite(const void*, long, void*) { return 0; }

int memSeek(void* data, int offset) {
  auto* f = static_cast<MemoryFile*>(data);
  if (offset < 0) return -1;
  long left = (long)f->bytes->size() - f->position;
  if (offset > left) {
    f->overran = true;
    f->position = (long)f->bytes->size();
    return -1;
  }
  f->position += offset;
  return 0;
}

int memEof(void* data) {
  auto* f = static_cast<MemoryFile*>(data);
  return f->position >= (long)f->bytes->size();
}

int memError(void*) { return 0; }

const PACKFILE_VTABLE memoryVtable = {memClose, memGetc,  memUngetc, memRead, memPutc,
                                      memWrite, memSeek, memEof,    memError};

// Pictures and fonts of the program are small; a file far larger than any
// of them is not one of them.
constexpr long kLargestResource = 64L << 20;

bool readWholeFile(const char* name, std::vector<unsigned char>& bytes) {
  FILE* in = std::fopen(name, "rb");
  if (!in) return false;
  unsigned char block[65536];
  bool ok = true;
  for (;;) {
    size_t n = std::fread(block, 1, sizeof block, in);
    bytes.insert(bytes.end(), block, block + n);
    if ((long)bytes.size() > kLargestResource) ok = false;
    if (n < sizeof block || !ok) break;
  }
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  return ok;
}

}  // namespace

bool resourceFileIsWhole(const char* name) {
  const char* dot = std::strrchr(name, '.');
  if (!dot) return false;
  BITMAP* (*loader)(PACKFILE*, RGB*) = nullptr;
  if (ustricmp(dot, ".bmp") == 0) loader = load_bmp_pf;
  if (ustricmp(dot, ".pcx") == 0) loader = load_pcx_pf;
  if (!loader) return false;

  std::vector<unsigned char> bytes;
  if (!readWholeFile(name, bytes) || bytes.empty()) return false;
  MemoryFile file = {&bytes, 0, false};
  PACKFILE* packfile = pack_fopen_vtable(&memoryVtable, &file);
  if (!packfile) return false;
  PALETTE palette;
  BITMAP* picture = loader(packfile, palette);
  pack_fclose(packfile);
  if (picture) destroy_bitmap(picture);
  return picture && !file.overran;
}
