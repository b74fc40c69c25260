#include "record/phylogeny.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <vector>

#include "persist/textio.h"
#include "record/census.h"
#include "persist/files.h"
#include "persist/numbers.h"

const char kPhylogenyHeader[] = "id,ancestor_list,origin_time,destruction_time,slot,cause,genome,ancestor_id\n";

const char* deathCauseName(DeathCause cause) {
  switch (cause) {
    case DeathCause::Age: return "age";
    case DeathCause::Starvation: return "starvation";
    case DeathCause::Contest: return "contest";
    case DeathCause::Search: return "search";
    case DeathCause::Unfit: return "unfit";
    case DeathCause::Cull: return "cull";
    case DeathCause::Clear: return "clear";
  }
  return "unknown";
}

void appendPhylogenyRow(std::string& out, int slot, int64_t destroyed, DeathCause cause) {
  const Lineage& who = lineage[slot];
  char line[64 + 12 * kGeneCount];
  int n;
  if (who.parent >= 0)
    n = std::snprintf(line, 64, "%" PRId64 ",[%" PRId64 "],%" PRId64 ",", who.id, who.parent, who.origin);
  else
    n = std::snprintf(line, 64, "%" PRId64 ",[NONE],%" PRId64 ",", who.id, who.origin);
  out.append(line, (size_t)n);
  if (destroyed >= 0)
    n = std::snprintf(line, 64, "%" PRId64 ",%d,%s,", destroyed, slot, deathCauseName(cause));
  else
    n = std::snprintf(line, 64, "inf,%d,,", slot);
  out.append(line, (size_t)n);
  char* end = line;
  for (int g = 0; g < kGeneCount; ++g) {
    if (g > 0) *end++ = ' ';
    end = formatInt(end, units.genome[slot][g]);
  }
  *end++ = '\n';
  out.append(line, (size_t)(end - line));
}

namespace {

// A row's id: the number that starts it, or -1 for a line that does not.
int64_t rowId(const std::string& line) {
  int64_t id = -1;
  const size_t comma = line.find(',');
  if (comma == std::string::npos || readWhole(std::string_view(line).substr(0, comma), &id, false) != WholeText::Whole)
    return -1;
  return id;
}

// Reads one line (without its line end) into line; false at the end.
bool readLine(std::FILE* file, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(file)) != EOF && c != '\n') line += (char)c;
  return c != EOF || !line.empty();
}

struct Piece {
  std::string path;
  std::FILE* file = nullptr;
};

void closePieces(std::vector<Piece>& pieces) {
  for (Piece& p : pieces) {
    if (p.file) std::fclose(p.file);
    unlink(p.path.c_str());
  }
  pieces.clear();
}

// A file beside target for one sorted piece, opened for writing and reading.
bool newPiece(const std::string& target, Piece* piece, std::string* error) {
  const int fd = createTemporaryBeside(target, ".piece", &piece->path);
  piece->file = fd >= 0 ? fdopen(fd, "w+") : nullptr;
  if (!piece->file) {
    *error = "cannot sort " + target + ": cannot make a file beside it: " + std::strerror(errno);
    if (fd >= 0) close(fd), unlink(piece->path.c_str());
    return false;
  }
  return true;
}

using Row = std::pair<int64_t, std::string>;

// A row of the rows file as the sorted file has it: ancestor_id added at the
// end, from ancestor_list (the parent's id, or the row's own for a Unit
// without parent). The rows file itself keeps the columns it always had, so
// that one left by an earlier runner's checkpoint still resumes.
void withAncestorId(std::string& row) {
  const size_t list = row.find(',') + 1, end = std::min(row.find(',', list), row.size() - 1);
  const bool none = row.compare(list, end - list, "[NONE]") == 0;
  const std::string id = none ? row.substr(0, list - 1) : end - list > 2 ? row.substr(list + 1, end - list - 2) : "";
  row.insert(row.size() - 1, "," + id);  // before the line end
}

// Merges the sorted pieces, each from its start, into write.
template <class Write>
bool mergePieces(std::vector<Piece>& pieces, Write write) {
  using Head = std::pair<int64_t, size_t>;  // the id of a piece's next row, the piece
  std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
  std::vector<std::string> next(pieces.size());
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::rewind(pieces[i].file);
    if (readLine(pieces[i].file, next[i])) heads.emplace(rowId(next[i]), i);
  }
  while (!heads.empty()) {
    const size_t i = heads.top().second;
    heads.pop();
    next[i] += '\n';
    write(next[i]);
    if (readLine(pieces[i].file, next[i])) heads.emplace(rowId(next[i]), i);
  }
  for (Piece& p : pieces)
    if (std::ferror(p.file)) return false;
  return true;
}

}  // namespace

bool sortPhylogeny(const std::string& rowsPath, const std::string& target, std::string* error, size_t pieceRows) {
  std::FILE* rows = std::fopen(rowsPath.c_str(), "r");
  if (!rows) {
    *error = "cannot sort " + target + ": cannot read " + rowsPath + ": " + std::strerror(errno);
    return false;
  }
  if (pieceRows < 1) pieceRows = 1;
  // At most this many pieces are merged at once: more are first merged
  // into one piece of their own.
  constexpr size_t kMergeWidth = 64;
  std::vector<Piece> pieces;
  std::vector<Row> chunk;
  std::string line;
  bool more = true, failed = false;
  while (more && !failed) {
    chunk.clear();
    while (chunk.size() < pieceRows && (more = readLine(rows, line))) {
      const int64_t id = rowId(line);
      if (id < 0) {
        *error = "cannot sort " + target + ": " + rowsPath + " holds a line that is no row";
        failed = true;
        break;
      }
      chunk.emplace_back(id, line);
    }
    if (failed || (chunk.empty() && !pieces.empty())) break;
    std::stable_sort(chunk.begin(), chunk.end(), [](const Row& a, const Row& b) { return a.first < b.first; });
    Piece piece;
    if (!newPiece(target, &piece, error)) {
      failed = true;
      break;
    }
    for (const Row& r : chunk) std::fprintf(piece.file, "%s\n", r.second.c_str());
    pieces.push_back(piece);
    if (std::fflush(piece.file) != 0) {
      *error = "cannot sort " + target + ": writing beside it failed: " + std::strerror(errno);
      failed = true;
    }
    if (!failed && pieces.size() == kMergeWidth) {
      Piece merged;
      if (!newPiece(target, &merged, error)) {
        failed = true;
        break;
      }
      const bool ok = mergePieces(pieces, [&](const std::string& text) { std::fputs(text.c_str(), merged.file); });
      closePieces(pieces);
      pieces.push_back(merged);
      if (!ok || std::fflush(merged.file) != 0) {
        *error = "cannot sort " + target + ": writing beside it failed";
        failed = true;
      }
    }
  }
  if (std::ferror(rows) && !failed) {
    *error = "cannot sort " + target + ": reading " + rowsPath + " failed";
    failed = true;
  }
  std::fclose(rows);
  chunk = std::vector<Row>();
  if (failed) {
    closePieces(pieces);
    return false;
  }
  StreamFile out;
  if (!out.create(target, false, error)) {
    closePieces(pieces);
    return false;
  }
  out.write(kPhylogenyHeader);
  std::string row;
  const bool merged = mergePieces(pieces, [&](const std::string& text) {
    row = text;
    withAncestorId(row);
    out.write(row);
  });
  closePieces(pieces);
  if (!merged) {
    *error = "cannot sort " + target + ": reading its pieces back failed";
    return false;
  }
  return out.finish(error);
}
