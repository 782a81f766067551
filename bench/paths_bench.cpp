// Conversion against a full map of 26 drives (A: .. Z: on \Device\HarddiskVolume1 .. 26): a
// hit on the first and on the last entry, a miss, and a "\??\" path; and a whole build over 26
// winsim drives. A hit rewrites the path, so each pass first restores it from the original with
// assign (no allocation once the capacity is there); BM_RestorePathOnly measures that alone.
#include <benchmark/benchmark.h>

#include <string>

#include "module/ModuleState.h"
#include "paths/PathConverter.h"
#include "winsim/Control.h"

namespace {

std::u16string VolumeDevice(int number) {
  std::u16string device = uR"(\Device\HarddiskVolume)";
  for (char c : std::to_string(number)) device += static_cast<char16_t>(c);
  return device;
}

DriveMap FullMap() {
  DriveMap map;
  for (int i = 0; i < 26; ++i) {
    map.push_back(
        {VolumeDevice(i + 1) + u'\\', std::u16string{static_cast<char16_t>(u'A' + i), u':'}});
  }
  return map;
}

const std::u16string kTail = uR"(\Windows\System32\WindowsPowerShell\v1.0\powershell.exe)";

void ConvertRestoring(benchmark::State& state, const std::u16string& original) {
  const DriveMap map = FullMap();
  std::u16string path = original;
  for (auto _ : state) {
    path.assign(original);
    const bool converted = PathConverter::ConvertDevicePath(map, path);
    benchmark::DoNotOptimize(converted);
    benchmark::DoNotOptimize(path.data());
  }
}

void BM_RestorePathOnly(benchmark::State& state) {
  const std::u16string original = VolumeDevice(26) + kTail;
  std::u16string path = original;
  for (auto _ : state) {
    path.assign(original);
    benchmark::DoNotOptimize(path.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RestorePathOnly);

void BM_ConvertHitFirstEntry(benchmark::State& state) {
  ConvertRestoring(state, VolumeDevice(1) + kTail);
}
BENCHMARK(BM_ConvertHitFirstEntry);

void BM_ConvertHitLastEntry(benchmark::State& state) {
  ConvertRestoring(state, VolumeDevice(26) + kTail);
}
BENCHMARK(BM_ConvertHitLastEntry);

void BM_ConvertObjectManagerPath(benchmark::State& state) {
  ConvertRestoring(state, uR"(\??\C:)" + kTail);
}
BENCHMARK(BM_ConvertObjectManagerPath);

// A miss leaves the path as it was, so nothing needs restoring.
void ConvertMiss(benchmark::State& state, std::u16string path) {
  const DriveMap map = FullMap();
  for (auto _ : state) {
    benchmark::DoNotOptimize(path.data());
    const bool converted = PathConverter::ConvertDevicePath(map, path);
    benchmark::DoNotOptimize(converted);
  }
  if (PathConverter::ConvertDevicePath(map, path)) state.SkipWithError("the path converted");
}

// A volume with no drive letter.
void BM_ConvertMissUnlettered(benchmark::State& state) {
  ConvertMiss(state, VolumeDevice(27) + kTail);
}
BENCHMARK(BM_ConvertMissUnlettered);

// Every entry's backslash position agrees with the path (\Device\HarddiskVolume1\ .. 9\ at
// position 23, 10\ .. 26\ at 24), so each entry is compared in full.
void BM_ConvertMissSameShape(benchmark::State& state) {
  ConvertMiss(state, uR"(\Device\HarddiskVolumeX\\)" + kTail);
}
BENCHMARK(BM_ConvertMissSameShape);

void BM_BuildDriveMap26(benchmark::State& state) {
  winsim::Reset();
  for (int i = 0; i < 26; ++i)
    winsim::AddDrive(static_cast<char16_t>(u'A' + i), {VolumeDevice(i + 1)});
  CreateModuleObjects();
  for (auto _ : state) {
    const bool built = PathConverter::BuildDriveMap();
    benchmark::DoNotOptimize(built);
  }
  if (PathConverter::CurrentDriveMap().size() != 26) state.SkipWithError("expected 26 entries");
  DestroyModuleObjects();
  winsim::Reset();
}
BENCHMARK(BM_BuildDriveMap26);

}  // namespace
