#include "output.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_out_lock;

void Write(FILE* stream, const char* format, va_list args) {
  std::lock_guard<std::mutex> lock(g_out_lock);
  std::vfprintf(stream, format, args);
  std::fputc('\n', stream);
  std::fflush(stream);
}
}  // namespace

void OutLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(stdout, format, args);
  va_end(args);
}

void ErrLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(stderr, format, args);
  va_end(args);
}
