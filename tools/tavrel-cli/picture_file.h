// Writes a YUY2 picture as a 24-bit bottom-up BMP file, for snapshots the
// CLI takes.
#pragma once
#include <cstdint>
#include <string>

bool WriteYuy2AsBmp(const std::string& path, const uint8_t* yuy2, int width, int height);
