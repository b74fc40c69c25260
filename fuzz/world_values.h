// The stored values of the simulation as one flat list, in state file order
// (floats by their bits), and a plain reference reader of state and slot
// text built on fscanf, for the fuzz targets to check the loaders against.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

// Lines 0-based: the energies and foodDivisor are the only floats.
constexpr int64_t kFirstFloatLine = 2212625;
constexpr int64_t kLastFloatLine = 2213625;

// Fills v (resized once) with the values.
void worldValues(std::vector<uint32_t>& v);

// Reads up to `count` values as the loaders do: an integer as "%lld" reads
// it, counting a value outside the 32-bit range as not a number; a float as
// "%f" reads it, counting nan and inf as not numbers. Values whose line lies
// in [floatFrom, floatTo] are floats. Stops at the first failure; returns
// the values read (floats by their bits).
std::vector<uint32_t> referenceRead(std::FILE* in, int64_t count, int64_t floatFrom, int64_t floatTo);

// Writes bytes to a file; aborts when it cannot.
void writeInput(const char* name, const uint8_t* prefix, size_t prefixSize, const uint8_t* data, size_t size);
