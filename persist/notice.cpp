#include "persist/notice.h"

void (*fileNoticeHook)(const char* text) = nullptr;
