// The check a sound file passes before the sound call is given it in
// memory: the call believes every length the file states, so each lie that
// would have it read past the bytes must be caught.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "actions/wave_image.h"
#include "fetch_fixture.h"

namespace hta::testing {
namespace {

void SetLittle32(std::string& bytes, std::size_t at, std::uint32_t value) {
  bytes.replace(at, 4, Little32(value));
}

TEST(WaveImageTest, OnlyAWaveWhoseLengthsAllFitItsBytesIsPlayed) {
  const std::string good = Wave("abc");  // fmt at 12, data at 36, 3 samples and a pad byte
  EXPECT_TRUE(IsWholeWave(good));
  EXPECT_TRUE(IsWholeWave(good + "trailing bytes after the RIFF"));

  const std::vector<std::pair<const char*, std::function<void(std::string&)>>> lies = {
      {"empty", [](std::string& b) { b.clear(); }},
      {"cut inside the header", [](std::string& b) { b.resize(10); }},
      {"not RIFF", [](std::string& b) { b[0] = 'X'; }},
      {"not WAVE", [](std::string& b) { b[8] = 'X'; }},
      {"RIFF longer than the bytes",
       [](std::string& b) { SetLittle32(b, 4, static_cast<std::uint32_t>(b.size())); }},
      {"RIFF of 4 GiB", [](std::string& b) { SetLittle32(b, 4, 0xFFFFFFFF); }},
      {"data longer than the RIFF", [](std::string& b) { SetLittle32(b, 40, 100); }},
      {"data of 4 GiB", [](std::string& b) { SetLittle32(b, 40, 0xFFFFFFFF); }},
      {"format shorter than 16", [](std::string& b) { SetLittle32(b, 16, 14); }},
      {"no data chunk", [](std::string& b) { b[36] = 'x'; }},
      {"no format chunk", [](std::string& b) { b[12] = 'x'; }},
      {"cut inside the samples", [](std::string& b) { b.resize(b.size() - 3); }},
  };
  for (const auto& [what, lie] : lies) {
    std::string bytes = good;
    lie(bytes);
    EXPECT_FALSE(IsWholeWave(bytes)) << what;
  }

  // A compressed format names extra format bytes, which must lie inside
  // its chunk: 18 bytes with cbSize 0 fit, cbSize 4 does not.
  std::string extended = good;
  extended.insert(36, std::string(2, '\0'));
  SetLittle32(extended, 16, 18);
  SetLittle32(extended, 4, static_cast<std::uint32_t>(extended.size() - 8));
  extended[20] = 2;  // ADPCM
  EXPECT_TRUE(IsWholeWave(extended));
  extended[36] = 4;
  EXPECT_FALSE(IsWholeWave(extended));
}

}  // namespace
}  // namespace hta::testing
