// The run record: what a headless run was asked to do and where it came
// from (the command lines, the seed, the frames, the loaded file, the
// pictures), as run.json and the resume file carry it, and the reading of
// whole numbers from those files.
#pragma once
#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "persist/numbers.h"
#include "units/params.h"

// The largest block of pixels a cell may take in a world picture.
constexpr int kMaxPictureScale = 8;

// The pictures a run draws. The picture layer draws them; a program built
// without it refuses them before the run (see makePictureOutputs).
struct PictureOptions {
  std::string snapshot;   // the world at the end, a PNG file
  std::string framesDir;  // a world picture every K frames, frame-000100.png, ...
  std::string video;      // the same pictures as a video
  std::string plot;       // the plot of the stats, a PNG file
  std::string genesPlot;  // the plot of the genes' means, a PNG file
  int scale = 1;          // each cell a scale x scale block in world pictures
  bool inFolder = false;  // world.png, run.png, genes.png and muller.png in the experiment folder

  bool any() const { return inFolder || !snapshot.empty() || !framesDir.empty() || !video.empty() || !plot.empty() ||
           !genesPlot.empty(); }
};

// What the run record tells about a run besides its counts.
struct RunInfo {
  std::vector<std::string> commandLine;
  std::vector<std::vector<std::string>> resumedWith;  // the command lines that resumed it
  uint32_t seed = 0;
  SimulationParams rules;  // the rules it runs under, from its start to its end
  int64_t frames = 0;  // asked for
  int64_t every = 100;
  int64_t checkpointEvery = 0;
  std::string loadFile;  // empty: the run started from an empty world
  int64_t loadBytes = 0;
  std::string loadSha256;
  std::string loadWarning;  // where a damaged --load file stopped; empty when it was whole
  int64_t loadedUnits = -1;  // the Units alive in the loaded world; -1: not known (no file, or an older checkpoint)
  std::string startTime;      // UTC, ISO 8601
  double earlierSeconds = 0;  // wall time of the sessions before a resume
  std::chrono::steady_clock::time_point sessionStart;
  PictureOptions pictures;  // saved with absolute paths: a resumed run writes to the same places
  double endSeconds = -1;   // the wall time once the frames are over, so that every output tells the same

  double wallSeconds() const;
};

nlohmann::json runInfoJson(const RunInfo& info);
// The rules as a JSON object, name -> value: every parameter, or only those
// that differ from the defaults.
nlohmann::json paramsJson(const SimulationParams& p, bool differingOnly);
// Every parameter back from paramsJson(p, false), checked as a parameter
// file is; throws std::runtime_error (or nlohmann::json's exceptions).
SimulationParams paramsFrom(const nlohmann::json& saved);
// Throws nlohmann::json's exceptions, or std::runtime_error, on a value that
// does not fit.
RunInfo runInfoFrom(const nlohmann::json& saved);

