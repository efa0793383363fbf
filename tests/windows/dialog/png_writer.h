// Writes 32-bit BGRX pixels as an RGB PNG, with no library.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace artnet::testing {

inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

// Deflate with the fixed Huffman codes, matching only runs of one repeated
// byte: rows filtered against the row above make a screenshot's flat
// areas such runs.
class RunDeflater {
 public:
  std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& data) {
    Bits(1, 1);  // the last block
    Bits(1, 2);  // fixed codes
    for (std::size_t i = 0; i < data.size();) {
      std::size_t run = 0;
      while (i > 0 && i + run < data.size() && run < 258 && data[i + run] == data[i - 1]) ++run;
      if (run >= 3) {
        Length(static_cast<int>(run));
        Reversed(0, 5);  // distance 1
        i += run;
      } else {
        Literal(data[i]);
        ++i;
      }
    }
    Literal(256);  // end of block
    if (count_ > 0) out_.push_back(static_cast<std::uint8_t>(buffer_));
    return out_;
  }

 private:
  void Bits(std::uint32_t value, int width) {
    buffer_ |= value << count_;
    count_ += width;
    while (count_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(buffer_));
      buffer_ >>= 8;
      count_ -= 8;
    }
  }
  // Huffman codes go most significant bit first.
  void Reversed(std::uint32_t code, int width) {
    std::uint32_t reversed = 0;
    for (int i = 0; i < width; ++i) reversed |= ((code >> i) & 1u) << (width - 1 - i);
    Bits(reversed, width);
  }
  void Literal(int symbol) {
    if (symbol < 144) {
      Reversed(0x30u + static_cast<std::uint32_t>(symbol), 8);
    } else if (symbol < 256) {
      Reversed(0x190u + static_cast<std::uint32_t>(symbol - 144), 9);
    } else if (symbol < 280) {
      Reversed(static_cast<std::uint32_t>(symbol - 256), 7);
    } else {
      Reversed(0xC0u + static_cast<std::uint32_t>(symbol - 280), 8);
    }
  }
  void Length(int length) {
    static constexpr std::array<int, 29> kBase{3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::array<int, 29> kExtra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::size_t code = kBase.size() - 1;
    while (kBase[code] > length) --code;
    Literal(257 + static_cast<int>(code));
    Bits(static_cast<std::uint32_t>(length - kBase[code]), kExtra[code]);
  }

  std::vector<std::uint8_t> out_;
  std::uint32_t buffer_ = 0;
  int count_ = 0;
};

inline bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint32_t>& bgrx) {
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint8_t> rgb;
  for (std::uint32_t p : bgrx) {
    rgb.push_back(static_cast<std::uint8_t>(p >> 16));
    rgb.push_back(static_cast<std::uint8_t>(p >> 8));
    rgb.push_back(static_cast<std::uint8_t>(p));
  }
  std::vector<std::uint8_t> raw;  // each row: filter 2 (minus the row above), then its bytes
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    raw.push_back(2);
    for (std::size_t x = 0; x < stride; ++x) {
      const std::uint8_t above = y > 0 ? rgb[(y - 1) * stride + x] : 0;
      raw.push_back(static_cast<std::uint8_t>(rgb[y * stride + x] - above));
    }
  }
  std::vector<std::uint8_t> zlib{0x78, 0x01};
  const std::vector<std::uint8_t> deflated = RunDeflater().Compress(raw);
  zlib.insert(zlib.end(), deflated.begin(), deflated.end());
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  const std::uint32_t adler = (b << 16) | a;
  for (int shift = 24; shift >= 0; shift -= 8) zlib.push_back(static_cast<std::uint8_t>(adler >> shift));

  std::vector<std::uint8_t> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&file](const char* type, const std::vector<std::uint8_t>& data) {
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<std::uint8_t>(size >> shift));
    const std::size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    const std::uint32_t crc = Crc32(file.data() + start, file.size() - start);
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<std::uint8_t>(crc >> shift));
  };
  std::vector<std::uint8_t> header;
  for (int value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(value >> shift));
  }
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  chunk("IHDR", header);
  chunk("IDAT", zlib);
  chunk("IEND", {});

  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace artnet::testing
