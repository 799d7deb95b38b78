// Eight bytes of text at a time: the writers of texts that need a few bytes escaped skip
// the long runs that need none a word at a time.
#pragma once

#include <cstdint>
#include <cstring>

namespace quillon::wordscan {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t Load8(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}
// High bit set in every byte of `word` that is zero (and possibly in some after it).
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
  return (word - kOnes) & ~word & kHighs;
}
constexpr std::uint64_t BytesEqual(std::uint64_t word, char c) {
  return ZeroBytes(word ^ (kOnes * static_cast<unsigned char>(c)));
}
// Bytes below 0x20 (exact for words without high bytes).
constexpr std::uint64_t ControlBytes(std::uint64_t word) {
  return (word - kOnes * 0x20) & ~word & kHighs;
}

}  // namespace quillon::wordscan
