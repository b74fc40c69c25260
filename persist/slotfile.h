// Genome slot files "sample0.dna" to "sample6.dna": 36 genes, one per line.
#pragma once
#include <cstddef>
#include <cstdint>

#include "genome/genome.h"

constexpr int kSlotCount = 7;

extern Genome slotGenomes[kSlotCount];
extern int32_t slotRefreshTimer;

// "sample%d.dna" for the slot number.
void slotFileName(char* buffer, size_t size, int slot);

// Writes the genome of Unit u; safe against failure like the state file.
bool saveSlotFile(const char* name, int u);
// Reads 36 genes into Unit u, then resets its age, spareA, energy and anchors.
bool loadSlotFile(const char* name, int u);
// Re-reads slot i's file into slotGenomes[i]; true when it could be opened.
bool refreshSlotGenomes(int i);
