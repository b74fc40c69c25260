// The pictures of a headless run, as outputs of the runner: the world at the
// end (--snapshot, and world.png in an experiment folder), a time-lapse of
// world pictures every K frames (--frames-dir), a video of the same pictures
// (--video), and the plot of the run's stats (--plot, and run.png). Each is
// checked before the first frame: the drawing library, the target, and the
// video encoder or the plotter it needs.
#pragma once
#include <string>

#include "genome/genome.h"
#include "experiment/output.h"

// Video frames per second: one picture per video frame.
constexpr int kVideoFramesPerSecond = 25;

// The name of the time-lapse picture of frame in folder: frame-000100.png.
std::string timeLapseName(const std::string& folder, int64_t frame);

// The outputs info.pictures asks for, in the order they are written:
// world.png and run.png of the experiment folder (when folder is given and
// they are wanted), the snapshot, the time-lapse, the video, the plot. The
// runner takes it as its makePictureOutputs.
void makeRunPictureOutputs(const RunInfo& info, const std::string& folder, NamedOutputs* outputs);

// The glyph picture of a report: the window's glyph of genome, 48 x 48
// pixels (each of its 6 x 6 pixels an 8 x 8 block). The runner takes it as
// its writeGlyphPicture.
bool writeGlyphPng(const Genome& genome, const std::string& path, std::string* error);
