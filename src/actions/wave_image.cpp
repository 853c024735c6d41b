#include "actions/wave_image.h"

#include <cstddef>

namespace hta {
namespace {

constexpr std::size_t kChunkHeader = 8;
constexpr std::size_t kFormatBytes = 16;          // WAVEFORMAT and wBitsPerSample
constexpr std::size_t kFormatWithExtraSize = 18;  // WAVEFORMATEX up to cbSize
constexpr std::uint16_t kPcm = 1;                 // WAVE_FORMAT_PCM, which has no extra bytes

std::uint32_t Little32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

std::uint16_t Little16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// A "fmt " chunk whose extra bytes (cbSize) lie inside it.
bool IsWholeFormat(std::string_view format) {
  if (format.size() < kFormatBytes) {
    return false;
  }
  if (format.size() < kFormatWithExtraSize || Little16(format, 0) == kPcm) {
    return true;
  }
  return kFormatWithExtraSize + Little16(format, kFormatBytes) <= format.size();
}

}  // namespace

bool IsWholeWave(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") {
    return false;
  }
  const std::uint64_t end = std::uint64_t{kChunkHeader} + Little32(bytes, 4);
  if (end > bytes.size()) {
    return false;
  }
  bool format = false;
  bool data = false;
  for (std::uint64_t at = 12; at + kChunkHeader <= end;) {
    const auto header = static_cast<std::size_t>(at);
    const std::uint64_t size = Little32(bytes, header + 4);
    if (at + kChunkHeader + size > end) {
      return false;
    }
    const std::string_view id = bytes.substr(header, 4);
    const std::string_view body = bytes.substr(header + kChunkHeader, static_cast<std::size_t>(size));
    if (id == "fmt ") {
      format = IsWholeFormat(body);
      if (!format) {
        return false;
      }
    } else if (id == "data") {
      data = true;
    }
    // Chunks start at even offsets: an odd one is followed by a pad byte.
    at += kChunkHeader + size + (size & 1);
  }
  return format && data;
}

}  // namespace hta
