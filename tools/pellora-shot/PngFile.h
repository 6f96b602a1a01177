#pragma once
// Pictures out as PNG files: 8-bit RGB, zlib-compressed, so a mostly black frame is small.
#include <cstdint>
#include <string>
#include <vector>

// Writes width x height pixels, each 0x00RRGGBB, rows top first and `width` apart. Answers
// false (and leaves no half-written file under that name) when the file cannot be written.
bool WritePngFile(const std::string& Path, int Width, int Height, const std::vector<uint32_t>& Pixels);
