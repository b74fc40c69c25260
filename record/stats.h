// The stats row: the state of the population at the end of a frame and the
// arrivals and deaths since the previous row.
#pragma once
#include <cstdint>
#include <string>

#include "record/census.h"

struct StatsRow {
  int64_t frame = 0;
  int32_t living = 0;  // livingCount, the count the status line shows
  int32_t alive = 0;   // Alive slots at the end of the frame
  int32_t level = 0;   // the Evolution Level
  float foodDivisor = 0;
  int64_t liveCells = 0;
  int32_t reseeding = 0;
  Tally tally;            // since the previous row
  int32_t genotypes = 0;  // distinct genomes among the Alive Units
  int32_t dominant = 0;   // Units that carry the most common one
  double meanAge = 0;     // over the Alive Units, 0 when there are none
  double meanEnergy = 0;
};

// The column names, comma-separated, with a line end.
extern const char kStatsHeader[];

// The row for the world as it stands at the end of frame, with rowTally as
// its arrivals and deaths. Reads the tables only; rowTally is left alone.
StatsRow currentStatsRow(int64_t frame);
// The row as one CSV line with its line end.
std::string formatStatsRow(const StatsRow& row);

// The number of distinct genomes among the Alive Units and how many Units
// carry the most common one (both 0 when none is alive).
void countGenotypes(int32_t* genotypes, int32_t* dominant);

// The most common genome among the Alive Units (of several as common, the
// least in the order of their gene values) into *genome; returns how many
// Units carry it, 0 when none is alive.
int32_t mostCommonGenome(Genome* genome);
