#pragma once
// A read-only stream over the fuzzer's bytes, without copying them.
#include <cstddef>
#include <cstdint>

#include "runtime/Classes.h"

class FuzzStream : public TCustomMemoryStream {
 public:
  FuzzStream(const uint8_t* data, size_t size)
      : TCustomMemoryStream(const_cast<uint8_t*>(data), static_cast<int64_t>(size)) {}
  int32_t Write(const void*, int32_t) override { return 0; }
};
