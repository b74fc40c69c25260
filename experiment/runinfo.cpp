#include "experiment/runinfo.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "units/units.h"

using nlohmann::json;

double RunInfo::wallSeconds() const {
  if (endSeconds >= 0) return endSeconds;
  return earlierSeconds +
         std::chrono::duration<double>(std::chrono::steady_clock::now() - sessionStart).count();
}

namespace {

std::string absolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code failure;
  const std::filesystem::path whole = std::filesystem::absolute(path, failure);
  return failure ? path : whole.lexically_normal().string();
}

json picturesJson(const PictureOptions& p) {
  return {{"snapshot", absolutePath(p.snapshot)}, {"frames_dir", absolutePath(p.framesDir)},
          {"video", absolutePath(p.video)},       {"plot", absolutePath(p.plot)},
          {"genes_plot", absolutePath(p.genesPlot)},
          {"scale", p.scale},                     {"in_folder", p.inFolder}};
}

PictureOptions picturesFrom(const json& saved) {
  PictureOptions p;
  p.snapshot = saved.at("snapshot").get<std::string>();
  p.framesDir = saved.at("frames_dir").get<std::string>();
  p.video = saved.at("video").get<std::string>();
  p.plot = saved.at("plot").get<std::string>();
  if (saved.contains("genes_plot")) p.genesPlot = saved.at("genes_plot").get<std::string>();
  p.scale = (int)wholeNumber(saved.at("scale"), 1, 64, "the pictures' scale");
  p.inFolder = saved.at("in_folder").get<bool>();
  return p;
}

}  // namespace

json paramsJson(const SimulationParams& p, bool differingOnly) {
  static const SimulationParams defaults;
  json out = json::object();
  forEachParam([&](const ParamInfo& info, auto field) {
    if (!differingOnly || paramValueText(field(p)) != paramValueText(field(defaults)))
      out[info.name] = field(p);
  });
  return out;
}

SimulationParams paramsFrom(const json& saved) {
  SimulationParams p;
  forEachParam([&](const ParamInfo& info, auto field) {
    auto& member = field(p);
    const json& value = saved.at(info.name);
    if constexpr (std::is_same_v<std::decay_t<decltype(member)>, int32_t>) {
      member = (int32_t)wholeNumber(value, info.low, info.high, info.name.c_str());
    } else {
      const double v = value.get<double>();
      if (!info.fits(v)) throw std::runtime_error(info.name + " is out of its range");
      member = v;
    }
  });
  const std::string broken = brokenRelation(p);
  if (!broken.empty()) throw std::runtime_error(broken);
  return p;
}

json runInfoJson(const RunInfo& info) {
  return {{"command_line", info.commandLine}, {"resumed_with", info.resumedWith},
          {"seed", info.seed},               {"params", paramsJson(info.rules, false)},
          {"frames", info.frames},
          {"every", info.every},             {"checkpoint", info.checkpointEvery},
          {"load_file", info.loadFile},      {"load_bytes", info.loadBytes},
          {"load_sha256", info.loadSha256},  {"load_warning", info.loadWarning},
          {"loaded_units", info.loadedUnits},
          {"start_time", info.startTime},
          {"seconds", info.wallSeconds()},   {"pictures", picturesJson(info.pictures)}};
}

RunInfo runInfoFrom(const json& saved) {
  RunInfo info;
  info.commandLine = saved.at("command_line").get<std::vector<std::string>>();
  info.resumedWith = saved.at("resumed_with").get<std::vector<std::vector<std::string>>>();
  info.seed = (uint32_t)wholeNumber(saved.at("seed"), 0, UINT32_MAX, "the seed");
  // A run checkpointed before the rules were parameters runs under the defaults.
  if (saved.contains("params")) info.rules = paramsFrom(saved.at("params"));
  info.frames = wholeNumber(saved.at("frames"), 0, INT64_MAX, "the frames");
  info.every = wholeNumber(saved.at("every"), 1, INT64_MAX, "the rows' spacing");
  info.checkpointEvery = wholeNumber(saved.at("checkpoint"), 0, INT64_MAX, "the checkpoints' spacing");
  info.loadFile = saved.at("load_file").get<std::string>();
  info.loadBytes = wholeNumber(saved.at("load_bytes"), 0, INT64_MAX, "the loaded file's size");
  info.loadSha256 = saved.at("load_sha256").get<std::string>();
  info.loadWarning = saved.at("load_warning").get<std::string>();
  if (saved.contains("loaded_units"))
    info.loadedUnits = wholeNumber(saved.at("loaded_units"), -1, kMaxUnits, "the loaded Units");
  info.startTime = saved.at("start_time").get<std::string>();
  info.earlierSeconds = saved.at("seconds").get<double>();
  // A run checkpointed by a runner without pictures draws none.
  if (saved.contains("pictures")) info.pictures = picturesFrom(saved.at("pictures"));
  return info;
}
