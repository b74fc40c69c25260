// The genes over time: at every stats row, for each of the 36 genes, its
// mean, population standard deviation, least and greatest value over the
// Units alive at the end of the frame, one CSV line per gene.
#pragma once
#include <cstdint>
#include <string>

extern const char kGenesHeader[];

// Appends the 36 lines of frame for the world as it stands. A frame with no
// Unit alive has the four numbers empty. Reads the tables only.
void appendGeneRows(std::string& out, int64_t frame);
