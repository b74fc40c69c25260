// Files written so that nothing is lost on any way out, and read whole: the
// one way every file of the programs is written.
//
// A file that replaces another (a save, a picture, a page, a plot, a video)
// is written beside its target under a temporary name of this process's own,
// ".NAME.PID.N.part" in the target's folder, created with the permissions a
// new file of the user's gets (the umask applies; it is never read or
// changed). Once whole it is flushed and synced and only then renamed over
// the target, and the folder is synced; any failure removes it, so the
// previous file survives and nothing is left beside it. A temporary left by
// a process killed outright (SIGKILL, a power cut) is a hidden file that no
// later write takes for its own: the name holds its process's number and
// is made only where no file has it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// A new, empty file beside path under a temporary name (see above), ending
// in ending: its descriptor (open to read and write, close-on-exec), or -1
// with errno set.
int createTemporaryBeside(const std::string& path, const std::string& ending, std::string* name);

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();  // not committed: the temporary is removed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the temporary beside target (ending after its name, for a
  // program that knows a file's kind by its ending). False, with errno()
  // and the step that failed, when it cannot.
  bool open(const std::string& target, const std::string& ending = "");
  // The open file, for writing through the C library.
  std::FILE* stream() const { return file_; }
  // Writes data: false (with errno() and the step) when it could not.
  bool write(const void* data, size_t size);
  // Its name, for a program that writes it itself (a plotter, an encoder).
  const std::string& temporary() const { return temporary_; }
  const std::string& target() const { return target_; }

  // Flushes, syncs and closes the file, then renames it over the target and
  // syncs the folder. False, with errno() and the step that failed, when
  // any write or step failed; the temporary is removed then.
  bool commit();
  // The same, but only to a name that no file has: a file that has it is
  // never replaced (*existed then tells). 
  bool commitAsNew(bool* existed);
  // Removes the temporary now.
  void discard();

  // The errno of the first failure, and the step: "cannot create a
  // temporary file beside it", "write failed", "cannot replace it".
  int error() const { return error_; }
  const char* failedStep() const { return step_; }
  // "cannot write TARGET: reason", for the messages of the outputs.
  std::string message() const;

 private:
  bool fail(const char* step, int error);
  bool close();

  std::string target_, temporary_;
  std::FILE* file_ = nullptr;
  int error_ = 0;
  const char* step_ = "";
};

// Writes text to path through a ReplacingFile; a path that is a pipe, a
// terminal or a device is written directly. False, with the reason.
bool writeFileSafely(const std::string& path, const std::string& text, std::string* error);

// The whole of a regular file (or a pipe) into *text. False, with "cannot
// read NAME: reason" in *error, when it cannot be opened or read, or is a
// folder.
bool readWholeFile(const std::string& name, std::string* text, std::string* error);

// True when path exists and is neither a regular file nor a folder (a
// terminal, a pipe, /dev/null): such a target is written directly, never
// replaced.
bool isSpecialFile(const std::string& path);

// Checks before a run that path can be written when the run ends: it is not
// a folder, and a file can be created beside it. False, with the reason.
bool probeWritable(const std::string& path, std::string* error);

// Syncs a folder, so that renames inside it survive a power cut.
void syncFolder(const std::string& folder);

// Makes sure folder is new or empty, so that nothing in it is ever written
// over; a missing folder is made, parents included (*made tells). False,
// with the reason.
bool prepareNewFolder(const std::string& folder, bool* made, std::string* error);

// A folder name without trailing slashes ("/" stays).
std::string folderName(std::string name);

// A file written from the start of a run to its end. In an experiment
// folder it is the file itself, and a resumed run cuts it back to the
// length its checkpoint recorded; anywhere else it is a ReplacingFile that
// replaces the target only when the run is over, so a run that fails never
// destroys an earlier file of that name. A pipe or a device is written
// directly.
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

  std::string path_;
  ReplacingFile replacing_;         // the temporary, when the target is replaced
  std::FILE* file_ = nullptr;       // the file written: the temporary's, or one of its own
  bool created_ = false;            // this stream made path_ itself and removes it if unfinished
  int error_ = 0;                   // errno of the first failed write
};
