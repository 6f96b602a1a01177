#include "scene/Random.h"

#include "platform/clock/Clock.h"

namespace {

uint32_t gSeed = 0;

}  // namespace

uint32_t RandomSeed() { return gSeed; }

void SetRandomSeed(uint32_t seed) { gSeed = seed; }

void Randomize() {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  gSeed = ((static_cast<uint32_t>(now.wHour) * 60u + now.wMinute) * 60u + now.wSecond) * 1000u + now.wMilliseconds;
}

int32_t Random(int32_t n) {
  gSeed = gSeed * 134775813u + 1u;
  const uint64_t product = static_cast<uint64_t>(gSeed) * static_cast<uint32_t>(n);
  return static_cast<int32_t>(static_cast<uint32_t>(product >> 32));
}
