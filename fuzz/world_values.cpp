#include "fuzz/world_values.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "units/units.h"
#include "world/cellfield.h"

void worldValues(std::vector<uint32_t>& v) {
  v.resize(2249626);
  uint32_t* out = v.data();
  auto put = [&](const void* p, size_t n) {
    std::memcpy(out, p, n * 4);
    out += n;
  };
  for (const int32_t* grid : {field.cells, field.nextCells, field.neighbourCounts, field.claimMarks, field.skipRuns})
    put(grid, kCellCount);
  for (const int32_t* block :
       {units.posX, units.posY, units.targetX, units.targetY, units.homeX, units.homeY, units.awayX, units.awayY,
        units.mode, units.searchRadius, units.sowTimer, units.status, units.age, units.stock, units.paceCounter,
        units.spareA, units.spareB})
    put(block, kMaxUnits);
  put(&units.memory[0][0], (size_t)kMaxUnits * kMemoryLength);
  put(units.energy, kMaxUnits);
  put(&foodDivisor, 1);
  for (const Genome& g : units.genome) put(g.data(), kGeneCount);
}

std::vector<uint32_t> referenceRead(std::FILE* in, int64_t count, int64_t floatFrom, int64_t floatTo) {
  std::vector<uint32_t> read;
  for (int64_t line = 0; line < count; ++line) {
    if (line >= floatFrom && line <= floatTo) {
      float f;
      if (std::fscanf(in, "%f", &f) != 1 || !std::isfinite(f)) break;
      uint32_t b;
      std::memcpy(&b, &f, sizeof b);
      read.push_back(b);
    } else {
      long long value;
      if (std::fscanf(in, "%lld", &value) != 1 || value < INT32_MIN || value > INT32_MAX) break;
      read.push_back((uint32_t)(int32_t)value);
    }
  }
  return read;
}

void writeInput(const char* name, const uint8_t* prefix, size_t prefixSize, const uint8_t* data, size_t size) {
  std::FILE* out = std::fopen(name, "wb");
  if (!out) std::abort();
  if ((prefixSize && std::fwrite(prefix, 1, prefixSize, out) != prefixSize) ||
      (size && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0)
    std::abort();
}
