// Plots of runs, drawn by the gnuplot program from a run's files with the
// scripts picture/*_plot.gp, which are built into the program.
#pragma once
#include <cstdint>
#include <string>

// The plotting program; "gnuplot" from the PATH.
extern std::string plotterProgram;

// Finds out, before a run's first frame, whether plots can be drawn: the
// plotter runs and has its PNG output. False with a message otherwise.
bool checkPlotter(std::string& error);

// The plot of one run: population (living, alive), Evolution Level and live
// cells over frames, and the deaths by cause per interval. The PNG takes its
// name only once whole. Its title names the stats file unless one is given.
bool drawRunPlot(const std::string& statsPath, const std::string& pngPath, std::string& error,
                 const std::string& title = "");

// How each gene's mean moved within its bounds, from a genes.csv with a row
// every `every` frames: a heat map, a row per gene.
bool drawGenesPlot(const std::string& genesPath, const std::string& pngPath, int64_t every, std::string& error,
                   const std::string& title = "");

// The Muller plot from a layout file (see picture/muller_plot.gp): bands
// areas, coloured by colours ("#rrggbb" words separated by spaces).
bool drawMullerPlot(const std::string& layoutPath, int bands, const std::string& colours, const std::string& pngPath,
                    std::string& error, const std::string& title);

// The tree of the living over the run, from a phylodiversity.csv: its
// phylogenetic diversity, the mean pairwise distance and the depths, the
// rows where the common ancestor changed marked.
bool drawPhylodiversityPlot(const std::string& treePath, const std::string& pngPath, std::string& error,
                            const std::string& title = "");
