#pragma once
// Small helpers shared by the DIB tests.
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BlurReference.h"
#include "image/DIB.h"

namespace dibtest {

inline DIBPixelFormat FormatOf(const blurref::Masks& m) { return MakeDIBPixelFormatMask(m.r, m.g, m.b); }

// A DIB holding the reference picture's pixels and table.
inline void Load(TDIB& dib, const blurref::Picture& p) {
  dib.Clear();
  if (p.bits == 16 || p.bits == 32) dib.SetPendingPixelFormat(FormatOf(p.masks));
  dib.Reformat(p.w, p.h, p.bits);
  for (int y = 0; y < p.h; ++y) std::memcpy(dib.ScanLine(y), p.Row(y), p.rowBytes);
  if (p.bits <= 8) {
    std::memcpy(dib.ColorTable().data(), p.table, sizeof(p.table));
    dib.ApplyColorTable();
  }
}

// The DIB's rows, top first, as the reference holds them.
inline std::vector<uint8_t> Rows(TDIB& dib) {
  std::vector<uint8_t> out;
  for (int y = 0; y < dib.Height(); ++y) {
    const uint8_t* row = dib.TopRow() + y * dib.RowStep();
    out.insert(out.end(), row, row + dib.RowBytes());
  }
  return out;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline std::string SourcePath(const std::string& relative) { return std::string(PELLORA_SOURCE_DIR) + "/" + relative; }

// Expects the call to raise E with exactly this message.
template <class E, class F>
void ExpectError(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected \"" << message << "\"";
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

}  // namespace dibtest
