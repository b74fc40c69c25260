// Output files of a run, written so that nothing is lost on any way out.
//
// A StreamFile is written from the start of a run to its end. In an
// experiment folder it is the file itself, and a resumed run cuts it back to
// the length its checkpoint recorded; anywhere else it is a temporary file
// beside the target that replaces the target only when the run is over, so a
// run that fails never destroys an earlier file of that name.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

class StreamFile {
 public:
  StreamFile() = default;
  ~StreamFile();  // a stream not finished is removed (its temporary, or a file it created)
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  // Creates path itself (inFolder) or a temporary beside it. False, with the
  // reason in *error, when it cannot be created.
  bool create(const std::string& path, bool inFolder, std::string* error);
  // Opens path, which a checkpoint left at length bytes or more, and cuts it
  // back to length: the writing goes on from there.
  bool reopen(const std::string& path, int64_t length, std::string* error);

  void write(const std::string& text);
  // Pushes what was written to the disk and tells the length of the file.
  // False when anything written so far was lost.
  bool sync(int64_t* length);
  // Closes the file and, for a temporary, renames it over the target. False,
  // with the reason, when any write failed.
  bool finish(std::string* error);

  const std::string& path() const { return path_; }

 private:
  void noteError();

  std::string path_, writing_;  // the target, and the file being written
  std::FILE* file_ = nullptr;
  bool created_ = false;  // this stream made writing_ and removes it if unfinished
  int error_ = 0;         // errno of the first failed write
};

// True when path exists and is neither a regular file nor a folder (a
// terminal, a pipe, /dev/null): such a target is written directly, never
// replaced.
bool isSpecialFile(const std::string& path);

// Checks before a run that path can be written when the run ends: it is not
// a folder, and a file can be created beside it. False, with the reason.
bool probeWritable(const std::string& path, std::string* error);

// Writes text to path through a temporary file beside it, synced and then
// renamed over path. False, with the reason, when any step failed; the old
// file is then untouched.
bool writeFileSafely(const std::string& path, const std::string& text, std::string* error);

// Syncs a folder, so that renames inside it survive a power cut.
void syncFolder(const std::string& folder);

// Makes sure folder is new or empty, so that nothing in it is ever written
// over; a missing folder is made, parents included (*made tells). False,
// with the reason.
bool prepareNewFolder(const std::string& folder, bool* made, std::string* error);

// A folder name without trailing slashes ("/" stays).
std::string folderName(std::string name);
