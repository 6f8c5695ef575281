// SHA-256 (FIPS 180-4), for the installer folder's seal: the same digest that
// sha256sum prints, computed without any library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pm {

class Sha256 {
 public:
  Sha256();
  // Adds bytes to the message; may be called any number of times.
  void update(std::string_view bytes);
  // The digest as 64 lower-case hexadecimal digits. Ends the message: the
  // object must not be updated afterwards.
  std::string hex();

 private:
  void block(const std::uint8_t* p);
  std::array<std::uint32_t, 8> h_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;  // bytes so far
};

// The digest of one text, as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

}  // namespace pm
