#pragma once
// The generator's source of varied data. The standard library's distributions may differ
// between implementations, so this one is spelled out: splitmix64, the same numbers on
// every machine and every build.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelagon::payload {

class DeterministicRandom {
public:
  explicit DeterministicRandom(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31U);
  }

  // A number below `bound`, 0 when it is 0; the tiny bias of the modulo is harmless here.
  std::size_t below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(next() % bound); }

  std::string text(std::string_view alphabet, std::size_t length) {
    std::string result;
    result.reserve(length);
    if (alphabet.empty()) return result;
    for (std::size_t i = 0; i < length; ++i) result += alphabet[below(alphabet.size())];
    return result;
  }

private:
  std::uint64_t state_;
};

}  // namespace pelagon::payload
