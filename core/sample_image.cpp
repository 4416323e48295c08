// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sample_image.h"

#include <algorithm>
#include <cctype>
#include <new>

#include "core/file_bytes.h"

namespace qirm {

Status SampleImage::Allocate(int width, int height, int channels, SampleType type) {
  if (const std::string size = CheckPictureSize(width, height); !size.empty()) return Status::Error(size);
  if (channels != 1 && channels != 3) {
    return Status::Error("an image has 1 or 3 channels, not " + std::to_string(channels));
  }
  if (type == SampleType::kF64) return Status::Error("64-bit float samples are not kept");
  const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                            static_cast<std::size_t>(channels) * static_cast<std::size_t>(SampleBytes(type));
  try {
    if (m_bytes.size() != bytes) {
      decltype(m_bytes) fresh;
      fresh.resize(bytes);
      m_bytes.swap(fresh);
    }
  } catch (const std::bad_alloc&) {
    return Status::Error("not enough memory for a " + std::to_string(width) + " x " + std::to_string(height) +
                         " image");
  }
  m_width = width;
  m_height = height;
  m_channels = channels;
  m_type = type;
  return Status::Ok();
}

void SampleImage::Clear() {
  decltype(m_bytes)().swap(m_bytes);
  m_width = m_height = m_channels = 0;
}

PlaneView SampleImage::plane(int c) {
  std::uint8_t* p = m_bytes.data() + static_cast<std::size_t>(c) * pixels() * SampleBytes(m_type);
  return PlaneView(p, m_width, m_height, m_width, m_type);
}

ConstPlaneView SampleImage::plane(int c) const {
  const std::uint8_t* p = m_bytes.data() + static_cast<std::size_t>(c) * pixels() * SampleBytes(m_type);
  return ConstPlaneView(p, m_width, m_height, m_width, m_type);
}

bool SampleImage::FindCard(const std::string& keyword, std::string& value) const {
  std::string key = keyword;
  key.resize(8, ' ');
  for (const std::string& card : cards) {
    if (card.size() < 10 || card.compare(0, 8, key) != 0 || card[8] != '=') continue;
    std::size_t i = 10;
    while (i < card.size() && card[i] == ' ') ++i;
    value.clear();
    if (i < card.size() && card[i] == '\'') {
      for (++i; i < card.size(); ++i) {
        if (card[i] == '\'') {
          if (i + 1 < card.size() && card[i + 1] == '\'') {
            value += '\'';
            ++i;
            continue;
          }
          break;
        }
        value += card[i];
      }
    } else {
      const std::size_t slash = card.find('/', i);
      value = card.substr(i, slash == std::string::npos ? std::string::npos : slash - i);
    }
    while (!value.empty() && value.back() == ' ') value.pop_back();
    return true;
  }
  return false;
}

int SampleImageBytesPerPixel(int channels, SampleType type) { return 2 * channels * SampleBytes(type) + 6; }

std::string FitsCard(const std::string& keyword, const std::string& value, const std::string& comment) {
  std::string card;
  for (char c : keyword.substr(0, 8)) card += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  card.resize(8, ' ');
  card += "= ";
  if (!value.empty() && value[0] == '\'') {
    card += value;
  } else {
    card += std::string(value.size() < 20 ? 20 - value.size() : 0, ' ') + value;
  }
  if (!comment.empty() && card.size() + 3 < 80) card += " / " + comment;
  card.resize(80, ' ');
  return card;
}

std::string FitsStringValue(const std::string& text) {
  std::string inside;
  // 68 characters fill the card from column 11 with both quotes; a doubled
  // quote is never cut in two.
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    const std::string piece = c == '\'' ? "''" : std::string(1, (u >= 0x20 && u < 0x7F) ? c : '?');
    if (inside.size() + piece.size() > 68) break;
    inside += piece;
  }
  while (!inside.empty() && inside.back() == ' ') inside.pop_back();
  if (inside.size() < 8) inside.resize(8, ' ');
  return "'" + inside + "'";
}

std::string FitsIntegerValue(long long value) { return std::to_string(value); }

}  // namespace qirm
