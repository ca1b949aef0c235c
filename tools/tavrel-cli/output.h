// Line output of tavrel-cli: one fact per line on stdout, flushed at once,
// safe to call from session worker threads.
#pragma once
#include <cstdarg>

void OutLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ErrLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
