#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include <cstdint>

namespace qlx {

// The one way secrets are erased: a store the optimiser may not drop.
void SecureWipe(void* data, std::size_t size) noexcept;

inline void SecureWipe(std::u16string& text) noexcept {
  SecureWipe(text.data(), text.size() * sizeof(char16_t));
  text.clear();
}
inline void SecureWipe(std::string& text) noexcept {
  SecureWipe(text.data(), text.size());
  text.clear();
}
inline void SecureWipe(std::vector<std::uint8_t>& bytes) noexcept {
  SecureWipe(bytes.data(), bytes.size());
  bytes.clear();
}

// Holds a copy of a secret and wipes it on every exit path.
template <class T>
class Wiped {
 public:
  Wiped() = default;
  explicit Wiped(T value) : value_(std::move(value)) {}
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;
  ~Wiped() { SecureWipe(value_); }
  T& operator*() noexcept { return value_; }
  const T& operator*() const noexcept { return value_; }
  T* operator->() noexcept { return &value_; }
  const T* operator->() const noexcept { return &value_; }

 private:
  T value_{};
};

}  // namespace qlx
