// Reading the samples of a WAV file: 8 kHz mono 16-bit PCM, the format the
// DVRs' talk codecs take. The file is untrusted: chunk sizes are checked
// against the bytes present, and anything else is refused with a reason.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Parses a whole WAV file held in memory. On success fills samples and
// returns true; otherwise sets why (the reason, without the file name).
bool ParseWav(const uint8_t* bytes, size_t size_bytes, std::vector<int16_t>* samples, std::string* why);

// Reads and parses the file at path; why names the file on failure.
bool ReadWavFile(const std::string& path, std::vector<int16_t>* samples, std::string* why);
