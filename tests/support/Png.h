#pragma once
// A dependency-free PNG writer for tests that dump frames to look at.
#include <cstdint>
#include <string>

#include "platform/gdi/Gdi.h"
#include "platform/window/Window.h"

// Writes width x height pixels, each 0x00RRGGBB (the top byte is ignored), rows
// strideInPixels apart, top row first. Returns false when the file cannot be written.
bool WritePng(const std::string& path, int width, int height, const uint32_t* argbOrXrgbPixels, int strideInPixels);

// Writes what a DC shows (the bitmap selected into a memory DC, or a buffer DC's memory),
// converted through the DC's own colours.
bool WritePngFromDC(const std::string& path, HDC dc);
// Writes a bitmap (a DIB section or a device bitmap) through its own colours.
bool WritePngFromBitmap(const std::string& path, HBITMAP bitmap);
// Writes a top-level window's back buffer, as the presenter last drew it.
bool SaveWindowPng(HWND hwnd, const std::string& path);
