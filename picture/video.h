// Videos of a run: pictures encoded while the run goes, by the ffmpeg
// program fed raw frames on a pipe (no frame files), one video frame per
// picture. MP4 (H.264) and WebM (VP9) are written in yuv420p, which every
// ordinary player plays; that needs even sizes, so an odd picture gets one
// black column or row added on its right or bottom. GIF gets a palette of its
// own for each frame (so nothing has to be held until the end of the run).
//
// The video goes to a temporary file beside its name and takes that name
// only when the encoder has finished well: an interrupted or failed run
// leaves no half-written video behind, and no earlier one is lost. A video is
// made in one go; it cannot be continued by a later run.
#pragma once
#include <string>
#include <vector>

#include "persist/files.h"
#include "picture/image.h"
#include "picture/process.h"

enum class VideoFormat { Mp4, Webm, Gif };

// The format a file name asks for by its ending (.mp4, .webm, .gif, in any
// case). False for any other name.
bool videoFormatFor(const std::string& path, VideoFormat& format);

// The encoder program; "ffmpeg" from the PATH.
extern std::string videoEncoderProgram;

class VideoWriter {
 public:
  VideoWriter() = default;
  ~VideoWriter();  // a video not finished is abandoned
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;

  // Starts the encoder for pictures of width x height at the given frame
  // rate. False with a message when the name asks for no known format or the
  // encoder cannot be started.
  bool open(const std::string& path, int width, int height, int framesPerSecond, std::string& error);
  // One video frame: the picture must have the size given to open.
  bool writeFrame(const RgbImage& picture, std::string& error);
  // Waits for the encoder to finish and puts the video in its place. False
  // with a message (the encoder's own last words among it) when it failed.
  bool finish(std::string& error);
  // Stops the encoder and removes the partial file.
  void abandon();

  bool isOpen() const { return encoder_.pid >= 0; }
  long framesWritten() const { return frames_; }
  // The encoder's processor time (user and system seconds), once finished.
  double encoderSeconds() const { return encoderSeconds_; }
  // The size of the encoded frames: the pictures', made even where needed.
  int frameWidth() const { return frameWidth_; }
  int frameHeight() const { return frameHeight_; }

 private:
  std::string path_;
  ReplacingFile file_;  // the encoder writes the video under its temporary name
  ChildProcess encoder_;
  int width_ = 0, height_ = 0, frameWidth_ = 0, frameHeight_ = 0;
  long frames_ = 0;
  double encoderSeconds_ = 0;
  std::vector<uint8_t> frame_;
  bool trial_ = false;
  friend bool checkVideoEncoder(const std::string&, int, int, int, std::string&);
};

// Finds out, before a run's first frame, whether a video can be written to
// path: encodes one black frame the way open and writeFrame would, into a
// temporary file beside path that is removed again. False with a message
// when the name asks for no known format, the encoder is missing, or it
// fails (a folder that cannot be written to, an encoder it lacks).
bool checkVideoEncoder(const std::string& path, int width, int height, int framesPerSecond, std::string& error);
