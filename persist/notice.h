// The "Saving..." and "Loading..." notices. The simulation has no display of
// its own: the interactive program installs a hook that draws the text on the
// screen; without one the notices are not shown.
#pragma once

extern void (*fileNoticeHook)(const char* text);
inline void showFileNotice(const char* text) {
  if (fileNoticeHook) fileNoticeHook(text);
}
