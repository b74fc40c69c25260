#include "picture/plot.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "picture/plot_scripts.h"
#include "genome/genome.h"
#include "units/params.h"
#include "persist/files.h"
#include "picture/process.h"

std::string plotterProgram = "gnuplot";

namespace {

// A gnuplot string literal: single quotes, a quote inside written twice.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// Runs the plotter with the settings, then the script on its standard input.
bool runPlotter(const std::string& settings, const char* script, std::string& error) {
  ChildProcess plotter;
  std::string why;
  if (!startChild(plotter, {plotterProgram, "-e", settings, "-"}, why)) {
    error = why;
    return false;
  }
  writeToChild(plotter, script, std::strlen(script));  // a failure shows in the exit status
  if (!finishChild(plotter, why)) {
    error = plotterProgram + " failed: " + why;
    return false;
  }
  return true;
}

bool plotTo(const std::string& pngPath, const std::string& settings, const char* script, std::string& error) {
  if (pngPath.find('\n') != std::string::npos || settings.find('\n') != std::string::npos) {
    error = "cannot draw " + pngPath + ": a file name holds a line break";
    return false;
  }
  // The plotter writes the picture under the temporary's name.
  ReplacingFile picture;
  std::string why;
  if (!picture.open(pngPath, ".png")) {
    error = "cannot draw " + pngPath + ": " + std::strerror(picture.error());
    return false;
  }
  if (!runPlotter(settings + "; outfile=" + quoted(picture.temporary()), script, why)) {
    error = "cannot draw " + pngPath + ": " + why;
    return false;
  }
  if (picture.commit()) return true;
  error = "cannot draw " + pngPath + ": " + std::strerror(picture.error());
  return false;
}

}  // namespace

bool checkPlotter(std::string& error) {
  std::string why;
  if (!runPlotter("set terminal pngcairo", "", why)) {
    error = "cannot draw plots: " + why;
    return false;
  }
  return true;
}

bool drawRunPlot(const std::string& statsPath, const std::string& pngPath, std::string& error,
                 const std::string& title) {
  std::string settings = "statsfile=" + quoted(statsPath);
  if (!title.empty()) settings += "; plottitle=" + quoted(title);
  return plotTo(pngPath, settings, kRunPlotScript, error);
}

bool drawGenesPlot(const std::string& genesPath, const std::string& pngPath, int64_t every, std::string& error,
                   const std::string& title) {
  std::string names, lows, highs;
  for (int g = 0; g < kGeneCount; ++g) {
    const char* gap = names.empty() ? "" : " ";
    names += gap + std::string(kGenes[(size_t)g].name);
    lows += gap + std::to_string(rules.genes.min[g]);
    highs += gap + std::to_string(rules.genes.max[g]);
  }
  std::string settings = "genesfile=" + quoted(genesPath) + "; every=" + std::to_string(every) +
                         "; names=" + quoted(names) + "; lows=" + quoted(lows) + "; highs=" + quoted(highs);
  if (!title.empty()) settings += "; plottitle=" + quoted(title);
  return plotTo(pngPath, settings, kGenesPlotScript, error);
}

bool drawMullerPlot(const std::string& layoutPath, int bands, const std::string& colours, const std::string& pngPath,
                    std::string& error, const std::string& title) {
  const std::string settings = "mullerfile=" + quoted(layoutPath) + "; bands=" + std::to_string(bands) +
                               "; colours=" + quoted(colours) + "; plottitle=" + quoted(title);
  return plotTo(pngPath, settings, kMullerPlotScript, error);
}

bool drawPhylodiversityPlot(const std::string& treePath, const std::string& pngPath, std::string& error,
                            const std::string& title) {
  std::string settings = "treefile=" + quoted(treePath);
  if (!title.empty()) settings += "; plottitle=" + quoted(title);
  return plotTo(pngPath, settings, kPhylodiversityPlotScript, error);
}
