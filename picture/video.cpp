#include "picture/video.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

std::string videoEncoderProgram = "ffmpeg";

namespace {

std::string lowerEnding(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ending = path.substr(dot + 1);
  for (char& c : ending) c = (char)std::tolower((unsigned char)c);
  return ending;
}

std::vector<std::string> encoderArguments(VideoFormat format, int width, int height, int framesPerSecond,
                                          const std::string& output) {
  std::vector<std::string> args = {videoEncoderProgram, "-hide_banner", "-loglevel", "error",
                                   "-f", "rawvideo", "-pix_fmt", "rgb24",
                                   "-video_size", std::to_string(width) + "x" + std::to_string(height),
                                   "-framerate", std::to_string(framesPerSecond), "-i", "pipe:0"};
  const std::vector<std::string> codec =
      format == VideoFormat::Mp4
          ? std::vector<std::string>{"-c:v", "libx264", "-preset", "veryfast", "-crf", "20", "-pix_fmt", "yuv420p",
                                     "-movflags", "+faststart", "-f", "mp4"}
      : format == VideoFormat::Webm
          ? std::vector<std::string>{"-c:v", "libvpx-vp9", "-crf", "32", "-b:v", "0", "-deadline", "realtime",
                                     "-cpu-used", "8", "-row-mt", "1", "-pix_fmt", "yuv420p", "-f", "webm"}
          : std::vector<std::string>{"-filter_complex",
                                     "split[a][b];[a]palettegen=stats_mode=single:reserve_transparent=0[p];"
                                     "[b][p]paletteuse=new=1:dither=none",
                                     "-f", "gif"};
  args.insert(args.end(), codec.begin(), codec.end());
  // "file:" keeps a name with a colon from being taken for a protocol, and
  // one that starts with a dash from being taken for an option.
  args.push_back("-y");
  args.push_back("file:" + output);
  return args;
}

}  // namespace

bool videoFormatFor(const std::string& path, VideoFormat& format) {
  const std::string ending = lowerEnding(path);
  if (ending == "mp4") format = VideoFormat::Mp4;
  else if (ending == "webm") format = VideoFormat::Webm;
  else if (ending == "gif") format = VideoFormat::Gif;
  else return false;
  return true;
}

VideoWriter::~VideoWriter() { abandon(); }

bool VideoWriter::open(const std::string& path, int width, int height, int framesPerSecond, std::string& error) {
  abandon();
  VideoFormat format;
  if (!videoFormatFor(path, format)) {
    error = "cannot write the video " + path + ": its name must end in .mp4, .webm or .gif";
    return false;
  }
  if (width <= 0 || height <= 0 || framesPerSecond <= 0) {
    error = "cannot write the video " + path + ": no picture size or frame rate";
    return false;
  }
  const bool even = format != VideoFormat::Gif;
  path_ = path;
  if (!file_.open(path)) {
    error = "cannot write the video " + path + ": " + std::strerror(file_.error());
    return false;
  }
  width_ = width;
  height_ = height;
  frameWidth_ = even ? (width + 1) / 2 * 2 : width;
  frameHeight_ = even ? (height + 1) / 2 * 2 : height;
  frames_ = 0;
  encoderSeconds_ = 0;
  frame_.assign((size_t)frameWidth_ * frameHeight_ * 3, 0);
  std::string why;
  if (!startChild(encoder_, encoderArguments(format, frameWidth_, frameHeight_, framesPerSecond, file_.temporary()), why)) {
    file_.discard();
    error = "cannot write the video " + path + ": " + why;
    return false;
  }
  return true;
}

bool VideoWriter::writeFrame(const RgbImage& picture, std::string& error) {
  if (!isOpen()) {
    error = "cannot write the video " + path_ + ": the encoder is not running";
    return false;
  }
  if (picture.width != width_ || picture.height != height_) {
    error = "cannot write the video " + path_ + ": a picture of another size";
    return false;
  }
  const uint8_t* data = picture.pixels.data();
  if (frameWidth_ != width_ || frameHeight_ != height_) {
    // The added column and row stay black.
    for (int y = 0; y < height_; ++y)
      std::memcpy(frame_.data() + (size_t)y * frameWidth_ * 3, picture.row(y), (size_t)width_ * 3);
    data = frame_.data();
  }
  if (!writeToChild(encoder_, data, frame_.size())) {
    // The encoder stopped reading: it failed; its own message says why.
    std::string why;
    finishChild(encoder_, why);
    file_.discard();
    error = "the video encoder for " + path_ + " failed: " + why;
    return false;
  }
  ++frames_;
  return true;
}

bool VideoWriter::finish(std::string& error) {
  if (!isOpen()) {
    error = "cannot write the video " + path_ + ": the encoder is not running";
    return false;
  }
  std::string why;
  const bool ok = finishChild(encoder_, why);
  encoderSeconds_ = encoder_.cpuSeconds;
  if (!ok) {
    file_.discard();
    error = "the video encoder for " + path_ + " failed: " + why;
    return false;
  }
  if (trial_) {
    file_.discard();
    return true;
  }
  if (file_.commit()) return true;
  error = "cannot write the video " + path_ + ": " + std::strerror(file_.error());
  return false;
}

void VideoWriter::abandon() {
  if (!isOpen()) return;
  stopChild(encoder_);
  file_.discard();
}

bool checkVideoEncoder(const std::string& path, int width, int height, int framesPerSecond, std::string& error) {
  VideoWriter trial;
  trial.trial_ = true;
  if (!trial.open(path, width, height, framesPerSecond, error)) return false;
  RgbImage black;
  black.resize(width, height);
  return trial.writeFrame(black, error) && trial.finish(error);
}
