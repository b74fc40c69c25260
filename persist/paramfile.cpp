#include "persist/paramfile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "persist/files.h"
#include "persist/numbers.h"

#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

namespace {

// Where each parameter given so far was given ("rules.toml:3", "--set
// NAME=VALUE"), and in which turn, for the messages about how parameters
// bound each other.
struct Sources {
  std::map<std::string, std::pair<int, std::string>> given;
  int turns = 0;
  void note(const std::string& name, const std::string& where) { given[name] = {++turns, where}; }
};

// A value as it was given: a whole number, a real number, or something of
// another kind (named for the message).
struct GivenValue {
  enum Kind { Whole, Real, Other } kind = Other;
  int64_t whole = 0;
  double real = 0;
  std::string otherKind;  // "a string", "a table", ...
};

// How similar two names are: the edits (insert, delete, replace a
// character) that turn one into the other.
size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The first parts of a name, up to (not including) its parts-th dot.
std::string firstParts(const std::string& name, size_t parts) {
  size_t end = 0;
  for (size_t k = 0; k < parts && end != std::string::npos; ++k) end = name.find('.', end == 0 ? 0 : end + 1);
  return name.substr(0, end);
}

// The message for a name that is no parameter: the nearest parameter, or
// the nearest table of parameters for a name of as few parts as a table's.
std::string unknownName(const std::string& name) {
  const size_t parts = (size_t)std::count(name.begin(), name.end(), '.') + 1;
  std::string nearest;
  size_t best = SIZE_MAX;
  forEachParam([&](const ParamInfo& info, auto) {
    const std::string candidate = firstParts(info.name, parts);
    const size_t d = editDistance(name, candidate);
    if (d < best) best = d, nearest = candidate;
  });
  return name + " is not a parameter (did you mean " + nearest + "?)";
}

std::string bounds(const ParamInfo& info) {
  if (info.kind == ParamInfo::Real) return info.name + " must be a number above 0";
  if (info.kind == ParamInfo::Float) return info.name + " must be a number above 0 that a float holds (up to 3.4e38)";
  if (info.high == INT32_MAX && info.low == 0) return info.name + " must be a whole number from 0 up";
  return info.name + " must be a whole number from " + std::to_string(info.low) + " to " + std::to_string(info.high);
}

// Sets the parameter name of p to value. False, with the message (without
// where it was given), when name is no parameter or value does not fit it.
bool setParam(SimulationParams& p, const std::string& name, const GivenValue& value, std::string* error) {
  bool found = false, ok = false;
  forEachParam([&](const ParamInfo& info, auto field) {
    if (found || info.name != name) return;
    found = true;
    auto& member = field(p);
    const std::string notOfKind = value.kind == GivenValue::Other ? ", not " + value.otherKind : "";
    if constexpr (std::is_same_v<std::decay_t<decltype(member)>, int32_t>) {
      ok = value.kind == GivenValue::Whole && info.fits(value.whole);
      if (ok) member = (int32_t)value.whole;
    } else {
      const double v = value.kind == GivenValue::Whole ? (double)value.whole : value.real;
      ok = value.kind != GivenValue::Other && info.fits(v);
      if (ok) member = v;
    }
    if (!ok) *error = bounds(info) + notOfKind;
  });
  if (!found) *error = unknownName(name);
  return ok;
}

// After everything was given: how the parameters bound each other.
bool checkRelations(const SimulationParams& p, const Sources& sources, std::string* error) {
  std::pair<std::string, std::string> names;
  const std::string broken = brokenRelation(p, &names);
  if (broken.empty()) return true;
  // Named where the user gave the later of the two.
  const auto& g = sources.given;
  const auto low = g.find(names.first), high = g.find(names.second);
  const auto given = low == g.end() ? high : high == g.end() ? low : low->second.first > high->second.first ? low : high;
  *error = (given != g.end() ? given->second.second + ": " : "") + broken;
  return false;
}

const char* kindOf(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "a list";
    case toml::node_type::string: return "a string";
    case toml::node_type::boolean: return "true or false";
    case toml::node_type::date:
    case toml::node_type::time:
    case toml::node_type::date_time: return "a date or time";
    default: return "a value of another kind";
  }
}

// Whether name is a parameter or the start of one's name (a table that
// holds parameters).
bool holdsParams(const std::string& prefix) {
  bool holds = false;
  forEachParam([&](const ParamInfo& info, auto) {
    holds = holds || info.name.compare(0, prefix.size() + 1, prefix + ".") == 0;
  });
  return holds;
}

bool isParam(const std::string& name) {
  bool is = false;
  forEachParam([&](const ParamInfo& info, auto) { is = is || info.name == name; });
  return is;
}

// Every value of the table, by its whole name (regulation.cull_at).
bool applyTable(const toml::table& table, const std::string& prefix, const std::string& file, SimulationParams& p,
                Sources& sources, std::string* error) {
  for (const auto& [key, node] : table) {
    const std::string name = prefix.empty() ? std::string(key.str()) : prefix + "." + std::string(key.str());
    const std::string where = file + ":" + std::to_string(node.source().begin.line);
    if (const toml::table* inner = node.as_table(); inner && !isParam(name)) {
      if (!holdsParams(name)) {
        *error = where + ": " + unknownName(name);
        return false;
      }
      if (!applyTable(*inner, name, file, p, sources, error)) return false;
      continue;
    }
    if (!node.is_table() && !isParam(name) && holdsParams(name)) {
      *error = where + ": " + name + " holds parameters: give them as " + name + ".NAME = VALUE";
      return false;
    }
    GivenValue value;
    if (const auto* whole = node.as_integer()) {
      value.kind = GivenValue::Whole, value.whole = whole->get();
    } else if (const auto* real = node.as_floating_point()) {
      value.kind = GivenValue::Real, value.real = real->get();
    } else {
      value.otherKind = kindOf(node);
    }
    std::string why;
    if (!setParam(p, name, value, &why)) {
      *error = where + ": " + why;
      return false;
    }
    sources.note(name, where);
  }
  return true;
}

// The line of the first byte outside ASCII that is not in a comment, or 0.
// A parameter file needs none (its keys and numbers are ASCII), and the
// TOML library reads some of them where it expects white space in a way
// that is not defined; so they are refused before it sees them. Strings
// are followed only so far as to know that a '#' in one starts no comment.
int64_t lineOutsideAscii(const std::string& text) {
  enum { Plain, Comment, Basic, Literal } in = Plain;
  bool multiLine = false;
  int64_t line = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool triple = text.compare(i, 3, std::string(3, c)) == 0;
    if (c == '\n') {
      line += 1;
      if (in == Comment || (!multiLine && (in == Basic || in == Literal))) in = Plain;
    } else if ((unsigned char)c >= 0x80) {
      if (in != Comment) return line;
    } else if (in == Plain) {
      if (c == '#') in = Comment;
      if (c == '"' || c == '\'') in = c == '"' ? Basic : Literal, multiLine = triple, i += triple ? 2 : 0;
    } else if (in == Basic && c == '\\') {
      ++i;
      line += i < text.size() && text[i] == '\n';
    } else if ((in == Basic && c == '"') || (in == Literal && c == '\'')) {
      if (!multiLine || triple) in = Plain, i += multiLine ? 2 : 0;
    }
  }
  return 0;
}

bool applyText(const std::string& text, const std::string& name, SimulationParams& p, Sources& sources,
               std::string* error) {
  if (const int64_t line = lineOutsideAscii(text)) {
    *error = name + ":" + std::to_string(line) + ": not a parameter file: only its comments may hold characters "
             "outside ASCII";
    return false;
  }
  toml::table table;
  try {
    table = toml::parse(text, name);
  } catch (const toml::parse_error& e) {
    // The library's words may quote what it saw: control characters go as escapes.
    std::string words;
    for (const char c : e.description()) {
      if ((unsigned char)c >= 0x20 && c != 0x7f) {
        words += c;
      } else {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c == '\n' ? "\\n" : "\\x%02x", (unsigned char)c);
        words += escaped;
      }
    }
    *error = name + ":" + std::to_string(e.source().begin.line) + ": not a TOML file: " + words;
    return false;
  }
  return applyTable(table, "", name, p, sources, error);
}

// "NAME=VALUE": the value read as a whole number when it is one (a sign and
// digits), else as a real number.
bool applySetting(const std::string& setting, SimulationParams& p, Sources& sources, std::string* error) {
  const std::string where = "--set " + setting;
  const size_t equals = setting.find('=');
  if (equals == std::string::npos || equals == 0) {
    *error = where + ": give NAME=VALUE, for example --set regulation.cull_at=400";
    return false;
  }
  const std::string name = setting.substr(0, equals), text = setting.substr(equals + 1);
  GivenValue value;
  int64_t whole = 0;
  double real = 0;
  const char* first = text.data() + (text.size() > 1 && text[0] == '+' && text[1] != '-');  // +0.5 as 0.5
  const char* last = text.data() + text.size();
  const WholeText read = readWhole(text, &whole);
  if (read == WholeText::Whole) {
    value.kind = GivenValue::Whole, value.whole = whole;
  } else if (read == WholeText::TooLarge) {  // out of every bound
    value.kind = GivenValue::Whole, value.whole = text[0] == '-' ? INT64_MIN : INT64_MAX;
  } else if (auto [realEnd, realFailure] = std::from_chars(first, last, real);
             realFailure == std::errc() && realEnd == last && first != last) {
    value.kind = GivenValue::Real, value.real = real;
  } else {
    value.otherKind = text.empty() ? "nothing" : "'" + text + "'";
  }
  std::string why;
  if (!setParam(p, name, value, &why)) {
    *error = where + ": " + why;
    return false;
  }
  sources.note(name, where);
  return true;
}

}  // namespace

bool readRulesText(const std::string& text, const std::string& name, SimulationParams* out, std::string* error) {
  SimulationParams p;
  Sources sources;
  if (!applyText(text, name, p, sources, error) || !checkRelations(p, sources, error)) return false;
  *out = p;
  return true;
}

bool readRules(const std::string& file, const std::vector<std::string>& settings, SimulationParams* out,
               std::string* error) {
  SimulationParams p;
  Sources sources;
  if (!file.empty()) {
    std::string text;
    if (!readWholeFile(file, &text, error)) return false;
    if (!applyText(text, file, p, sources, error)) return false;
  }
  for (const std::string& setting : settings)
    if (!applySetting(setting, p, sources, error)) return false;
  if (!checkRelations(p, sources, error)) return false;
  *out = p;
  return true;
}

std::string paramFileText(const SimulationParams& p) {
  std::string out =
      "# The rules of a tarn world, every parameter with its value. A run given this\n"
      "# file (tarn-sim --params FILE, or tarn --params FILE) runs under these rules.\n";
  std::string table;
  forEachParam([&](const ParamInfo& info, auto field) {
    const size_t dot = info.name.rfind('.');
    const std::string prefix = info.name.substr(0, dot), key = info.name.substr(dot + 1);
    const bool gene = prefix.compare(0, 6, "genes.") == 0;
    if (prefix != table) {
      table = prefix;
      out += "\n[" + prefix + "]\n";
      if (gene) {
        for (const GeneInfo& g : kGenes)
          if (prefix.compare(6, std::string::npos, g.name) == 0) out += "# " + std::string(g.meaning) + "\n";
      }
    }
    if (!gene) out += "# " + std::string(info.meaning) + "\n";
    out += key + " = " + paramValueText(field(p)) + "\n";
  });
  return out;
}
