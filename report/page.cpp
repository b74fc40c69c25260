#include "report/page.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "genome/genome.h"

using nlohmann::json;
using ordered = nlohmann::ordered_json;
namespace fs = std::filesystem;

std::string geneLabel(int gene) {
  return gene >= 0 && gene < kGeneCount ? kGenes[(size_t)gene].name : "gene " + std::to_string(gene);
}

// A word for a shell, quoted when it needs to be.
std::string shellWord(const std::string& word) {
  if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                              "/._-+=:,@%") == std::string::npos)
    return word;
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

namespace {

// Text for the page: the five characters that markup gives meaning to.
std::string escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// A relative path as a link: every byte but the unreserved ones and the
// slashes percent-encoded, so that spaces, '#' and '%' in names survive.
std::string urlOf(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += (char)c;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string commandText(const json& words) {
  std::string out;
  for (const auto& w : words) out += (out.empty() ? "" : " ") + shellWord(w.get<std::string>());
  return out;
}

// A number as the page shows it: whole numbers whole, others to decimals.
std::string number(const json& value, int decimals) {
  if (value.is_number_integer() || value.is_number_unsigned()) return value.dump();
  if (!value.is_number()) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value.get<double>());
  return text;
}

// A table row of a label and a number from the record, marked with where in
// run.json the number comes from.
std::string numberRow(const std::string& label, const ordered& record, const std::string& group,
                      const std::string& key, int decimals = 2) {
  const ordered& from = group.empty() ? record : record.at(group);
  if (!from.contains(key)) return "";
  const std::string where = group.empty() ? key : group + "." + key;
  return "<tr><th scope=\"row\">" + escape(label) + "</th><td class=\"n\" data-key=\"" + where + "\">" +
         number(from.at(key), decimals) + "</td></tr>\n";
}

std::string textRow(const std::string& label, const std::string& html) {
  return "<tr><th scope=\"row\">" + escape(label) + "</th><td>" + html + "</td></tr>\n";
}

std::string figure(const ReportMedia& m, const char* cls = nullptr) {
  std::string out = "<figure";
  if (cls) out += std::string(" class=\"") + cls + "\"";
  out += "><a href=\"" + urlOf(m.link) + "\"><img src=\"" + urlOf(m.link) + "\" alt=\"" + escape(m.caption) +
         "\"></a><figcaption>" + escape(m.caption) + "</figcaption></figure>\n";
  return out;
}

std::string genomeText(const Genome& g) {
  std::string out;
  for (int k = 0; k < kGeneCount; ++k) out += (k ? " " : "") + std::to_string(g[k]);
  return out;
}

const ordered kNoParams = ordered::object();

// The rules the run differs from the world's defaults in (run.json's
// "params"), one a line, or "the design's" when it does not differ.
std::string rulesText(const ordered& record, const std::string& paramsFile) {
  const ordered& differing = record.contains("params") ? record.at("params") : kNoParams;
  if (differing.empty()) return "the design's";
  std::string out;
  for (const auto& [name, value] : differing.items())
    out += (out.empty() ? "" : "<br>") + std::string("<code>") + escape(name + " = " + value.dump()) + "</code>";
  if (!paramsFile.empty())
    out += "<br>(every parameter: <a href=\"" + urlOf(paramsFile) + "\">" + escape(paramsFile) + "</a>)";
  return out;
}

// What the window needs to run the world under the run's rules: --params
// with the run's params.toml, or a --set for each rule that differs.
std::string rulesOptions(const ordered& record, const std::string& paramsFile) {
  const ordered& differing = record.contains("params") ? record.at("params") : kNoParams;
  if (differing.empty()) return "";
  if (!paramsFile.empty()) return " --params " + shellWord(paramsFile);
  std::string out;
  for (const auto& [name, value] : differing.items()) out += " --set " + shellWord(name + "=" + value.dump());
  return out;
}

const char kStyle[] = R"(body{font-family:system-ui,sans-serif;line-height:1.45;color:#1d1d1f;background:#fff;
max-width:62rem;margin:0 auto;padding:0 1rem 3rem}
h1{font-size:1.6rem;margin:1.2rem 0 .2rem}
h2{font-size:1.2rem;margin:2rem 0 .6rem;padding-bottom:.2rem;border-bottom:1px solid #d0d0d0}
p.sub{margin:0;color:#555}
.scroll{overflow-x:auto}
table{border-collapse:collapse;font-variant-numeric:tabular-nums}
th,td{padding:.25rem .7rem;text-align:left;vertical-align:top;border-bottom:1px solid #ececec}
thead th{border-bottom:2px solid #c8c8c8}
td.n{text-align:right;white-space:nowrap}
th[scope=row]{font-weight:normal;color:#444;white-space:nowrap}
img,video{max-width:100%;height:auto;background:#000}
figure{margin:1rem 0}
figcaption{font-size:.9rem;color:#555}
.strip{display:flex;gap:.6rem;overflow-x:auto;padding-bottom:.4rem}
.strip figure{flex:0 0 13rem;margin:0}
img.glyph{width:48px;image-rendering:pixelated;vertical-align:middle}
code,pre{font-family:ui-monospace,monospace;font-size:.9rem}
pre{background:#f5f5f5;padding:.6rem .8rem;overflow-x:auto}
td code{word-break:break-all}
.stopped{background:#fff4d6;border:1px solid #e2c46b;padding:.4rem 1rem;margin:1rem 0}
meter{width:8rem}
)";

// The tree of the living at the last row, a sentence for each figure.
std::string treeSection(const std::vector<std::pair<std::string, std::string>>& row) {
  const auto value = [&](const char* column) {
    for (const auto& [name, text] : row)
      if (name == column) return "<span data-tree=\"" + std::string(column) + "\">" + escape(text) + "</span>";
    return std::string();
  };
  const auto text = [&](const char* column) {
    for (const auto& [name, field] : row)
      if (name == column) return field;
    return std::string();
  };
  const auto empty = [&](const char* column) { return text(column).empty(); };
  std::string h = "<h2>The tree of the living</h2>\n<p>At frame " + value("frame") +
                  " the tree of the living (the Units alive, " + value("alive") +
                  ", and all their ancestors) holds " + value("phylogenetic_diversity") +
                  " Units, one generation between a Unit and its parent: its phylogenetic diversity.</p>\n";
  if (text("alive") == "0") return h + "<p>Nobody is alive: there are no pairs, no common ancestor and no depths.</p>\n";
  h += "<p>Lineages alive from a seeded or loaded Unit without parent (the roots): " + value("roots") + ".</p>\n";
  if (empty("mean_pairwise_distance"))
    h += "<p>With one Unit alive there are no pairs to measure.</p>\n";
  else
    h += "<p>Two Units alive are on average " + value("mean_pairwise_distance") +
         " generations apart along the tree (the mean pairwise distance).</p>\n";
  if (empty("mrca"))
    h += "<p>The living share no common ancestor among the Units: their lineages meet only at the origin.</p>\n";
  else
    h += "<p>The most recent common ancestor of the living is Unit " + value("mrca") + ", at depth " +
         value("mrca_depth") + " (generations from the origin).</p>\n";
  h += "<p>Changes of the most recent common ancestor from one stats row to the next (none at all counting as one "
       "ancestor): " + value("mrca_changes") + ".</p>\n";
  h += "<p>Generations from the origin to the living: " + value("depth_mean") + " on average, at most " +
       value("depth_max") + ".</p>\n";
  return h;
}

// The head, the title and, for a run that stopped, how to go on.
std::string headSection(const ReportInput& in) {
  const ordered& r = in.record;
  const bool interrupted = r.value("interrupted", false);
  const std::string seed = number(r.at("seed"), 0);
  std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                  "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  h += "<title>Run of seed " + seed + (interrupted ? " (stopped)" : "") + "</title>\n";
  h += "<style>\n" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
  h += "<h1>Run of seed " + seed + "</h1>\n";
  h += "<p class=\"sub\">" + number(r.at("frames_run"), 0) + " of " + number(r.at("frames"), 0) +
       " frames, started " + escape(r.value("start_time", std::string())) + "</p>\n";
  if (interrupted) {
    h += "<div class=\"stopped\"><p><strong>This run was stopped at frame <span data-key=\"frames_run\">" +
         number(r.at("frames_run"), 0) + "</span> of " + number(r.at("frames"), 0) +
         "</strong>; this page shows it as it stood then.</p>\n";
    if (!in.resumeCommand.empty())
      h += "<p>To go on to its last frame:</p>\n<pre class=\"resume\">" + escape(in.resumeCommand) + "</pre>\n";
    else
      h += "<p>" + escape(in.notResumable) + "</p>\n";
    h += "</div>\n";
  }
  return h;
}

// The run record: what was run and how, and the world it ended with.
std::string runSection(const ReportInput& in) {
  const ordered& r = in.record;
  std::string h = "<h2>The run</h2>\n<div class=\"scroll\"><table>\n<tbody>\n";
  h += textRow("Program", escape(r.value("program", std::string()) + " " + r.value("version", std::string())));
  // A command as code; an empty element is not valid, so none is written.
  auto command = [](const json& words) {
    const std::string text = commandText(words);
    return text.empty() ? std::string("(none recorded)") : "<code>" + escape(text) + "</code>";
  };
  h += textRow("Command line", command(r.at("command_line")));
  if (r.contains("resumed_with"))
    for (const auto& words : r.at("resumed_with")) h += textRow("Resumed with", command(words));
  h += numberRow("Seed", r, "", "seed");
  h += textRow("Rules", rulesText(r, in.paramsFile));
  h += numberRow("Frames asked for", r, "", "frames");
  h += numberRow("Frames run", r, "", "frames_run");
  h += numberRow("A stats row every", r, "", "every");
  if (r.value("checkpoint", 0) > 0) h += numberRow("A checkpoint every", r, "", "checkpoint");
  h += textRow("Started (UTC)", escape(r.value("start_time", std::string())));
  h += numberRow("Wall time (s)", r, "", "wall_seconds", 2);
  h += numberRow("Frames a second", r, "", "frames_per_second", 0);
  const ordered& load = r.at("load");
  if (load.is_null()) {
    h += textRow("Started from", "an empty world");
  } else {
    h += textRow("Started from", "<code>" + escape(load.at("file").get<std::string>()) + "</code>");
    if (!load.at("bytes").is_null()) h += numberRow("Its size (bytes)", r, "load", "bytes");
    if (!load.at("sha256").is_null())
      h += textRow("Its SHA-256", "<code>" + escape(load.at("sha256").get<std::string>()) + "</code>");
    if (!load.at("warning").is_null())
      h += textRow("Loading it", escape(load.at("warning").get<std::string>()));
  }
  h += "</tbody>\n</table></div>\n";
  if (!in.worldFile.empty()) {
    h += "<p>To look at this world closely, open it in the window, from this page's folder:</p>\n";
    h += "<pre>tarn --windowed --load " + escape(shellWord(in.worldFile)) + escape(rulesOptions(r, in.paramsFile)) +
         "</pre>\n";
    h += "<p>(<a href=\"" + urlOf(in.worldFile) + "\">" + escape(in.worldFile) +
         "</a> is never written by it: leaving the window saves <code>tarn.sav</code> in the working "
         "directory.)</p>\n";
  }
  return h;
}

// The counts at the end and the totals of arrivals and deaths.
std::string countsSection(const ordered& r) {
  std::string h = "<h2>At the end</h2>\n<div class=\"scroll\"><table>\n<tbody>\n";
  struct Final {
    const char* key;
    const char* label;
    int decimals;
  };
  static const Final finals[] = {
      {"frame", "Frame", 2},
      {"living", "Units living (the status line's count)", 2},
      {"alive", "Units alive", 2},
      {"level", "Evolution Level", 2},
      {"foodDivisor", "Food divisor", 6},
      {"liveCells", "Live cells", 2},
      {"reseeding", "Re-seeding (1: yes)", 2},
      {"genotypes", "Distinct genomes", 2},
      {"dominant", "Units that carry the most common genome", 2},
      {"mean_age", "Mean age (frames)", 2},
      {"mean_energy", "Mean energy", 2}};
  for (const Final& f : finals) h += numberRow(f.label, r, "final", f.key, f.decimals);
  h += "</tbody>\n</table></div>\n";

  h += "<h2>Arrivals and deaths over the run</h2>\n<div class=\"scroll\"><table>\n<tbody>\n";
  static const std::pair<const char*, const char*> totals[] = {
      {"births", "Born (breeding)"},
      {"seeded", "Seeded (re-seeding)"},
      {"deaths_age", "Died of age"},
      {"deaths_starvation", "Died of starvation"},
      {"deaths_contest", "Died in a lost contest"},
      {"deaths_search", "Died in a failed search"},
      {"deaths_unfit", "Died unfit at birth"},
      {"deaths_cull", "Died in a cull"}};
  for (const auto& [key, label] : totals) h += numberRow(label, r, "totals", key);
  return h + "</tbody>\n</table></div>\n";
}

// The pictures, the video and the time-lapse's strip.
std::string picturesSection(const ReportInput& in) {
  std::string h;
  if (!in.pictures.empty()) {
    h += "<h2>Pictures</h2>\n";
    for (const ReportMedia& m : in.pictures) h += figure(m);
  }
  if (in.video.link.empty() && in.timeLapse.empty()) return h;
  h += "<h2>Time-lapse</h2>\n";
  if (!in.video.link.empty())
    h += "<figure><video controls preload=\"metadata\" src=\"" + urlOf(in.video.link) + "\">" + "<a href=\"" +
         urlOf(in.video.link) + "\">" + escape(in.video.link) + "</a></video><figcaption>" +
         escape(in.video.caption) + "</figcaption></figure>\n";
  if (!in.timeLapse.empty()) {
    h += "<div class=\"strip\">\n";
    for (const ReportMedia& m : in.timeLapse) h += figure(m);
    h += "</div>\n";
    if (!in.timeLapseFolder.empty())
      h += "<p>Every picture: <a href=\"" + urlOf(in.timeLapseFolder) + "/\">" + escape(in.timeLapseFolder) +
           "/</a></p>\n";
  }
  return h;
}

std::string lineagesSection(const std::vector<ReportLineage>& lineages) {
  if (lineages.empty()) return "";
  std::string h = "<h2>The largest lineages</h2>\n<div class=\"scroll\"><table>\n<thead><tr><th>Founder</th>"
                  "<th>Branched from</th><th>Most alive</th><th>At frame</th><th>Alive at the end</th>"
                  "<th>Founder's genome</th></tr></thead>\n<tbody>\n";
  for (const ReportLineage& l : lineages) {
    h += "<tr><td class=\"n\">" + std::to_string(l.founder) + "</td><td class=\"n\">" +
         (l.parent < 0 ? std::string("none") : std::to_string(l.parent)) + "</td><td class=\"n\">" +
         std::to_string(l.peakAlive) + "</td><td class=\"n\">" + std::to_string(l.peakFrame) +
         "</td><td class=\"n\">" + std::to_string(l.lastAlive) + "</td><td>" +
         (l.genome.empty() ? "" : "<code>" + escape(l.genome) + "</code>") + "</td></tr>\n";
  }
  return h + "</tbody>\n</table></div>\n";
}

// The most common genome at the end, gene by gene within its bounds.
std::string genomeSection(const ReportInput& in) {
  std::string h = "<h2>The most common genome at the end</h2>\n";
  if (in.dominantCarriers == 0) return h + "<p>No Unit was alive at the end.</p>\n";
  h += "<p>";
  if (!in.dominantGlyph.empty()) h += "<img class=\"glyph\" src=\"" + urlOf(in.dominantGlyph) + "\" alt=\"its glyph\"> ";
  h += "Carried by <span data-key=\"final.dominant\">" + std::to_string(in.dominantCarriers) + "</span> Units" +
       (in.dominantGlyph.empty() ? "" : ", drawn in the window as this glyph") + ".</p>\n";
  h += "<div class=\"scroll\"><table class=\"genome\">\n<thead><tr><th>#</th><th>Gene</th><th>Value</th>"
       "<th>Range</th><th>Where in it</th></tr></thead>\n<tbody>\n";
  for (int k = 0; k < kGeneCount; ++k) {
    const int32_t v = in.dominant[k], low = in.geneLow[k], high = in.geneHigh[k];
    h += "<tr><td class=\"n\">" + std::to_string(k) + "</td><td>" + escape(geneLabel(k)) + "</td><td class=\"n\">" +
         std::to_string(v) + "</td><td class=\"n\">" + std::to_string(low) + " to " + std::to_string(high) +
         "</td><td><meter min=\"" + std::to_string(low) + "\" max=\"" + std::to_string(high) + "\" value=\"" +
         std::to_string(v) + "\">" + std::to_string(v) + "</meter></td></tr>\n";
  }
  h += "</tbody>\n</table></div>\n";
  return h + "<p>As one line, as <code>phylogeny.csv</code> writes it: <code>" + genomeText(in.dominant) +
         "</code></p>\n";
}

std::string filesSection(const std::vector<ReportMedia>& files) {
  if (files.empty()) return "";
  std::string h = "<h2>Files</h2>\n<ul>\n";
  for (const ReportMedia& f : files)
    h += "<li><a href=\"" + urlOf(f.link) + "\">" + escape(f.link) + "</a>: " + escape(f.caption) + "</li>\n";
  return h + "</ul>\n";
}

}  // namespace

std::string renderReport(const ReportInput& in) {
  return headSection(in) + runSection(in) + countsSection(in.record) + picturesSection(in) +
         lineagesSection(in.lineages) + (in.tree.empty() ? "" : treeSection(in.tree)) + genomeSection(in) +
         filesSection(in.files) + "</body>\n</html>\n";
}

std::string glyphPictureName(const std::string& reportPath) {
  const fs::path p(reportPath);
  return (p.parent_path() / (p.stem().string() + "-glyph.png")).string();
}
