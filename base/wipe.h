#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qlx {

// The one way secrets are erased: a store the optimiser may not drop. The
// body is the OS platform library's (platform/posix, platform/win32).
void SecureWipe(void* data, std::size_t size) noexcept;

// A text or byte buffer is wiped over its whole capacity, not only its
// length: a secret that was shortened in place, or overwritten by a shorter
// one, still lies past the end.
template <class Char, class Traits, class Allocator>
void SecureWipe(std::basic_string<Char, Traits, Allocator>& text) noexcept {
  // Growing to the capacity never reallocates, and makes every unit of the
  // buffer one that may be written.
  text.resize(text.capacity());
  SecureWipe(text.data(), text.size() * sizeof(Char));
  text.clear();
}

template <class Allocator>
void SecureWipe(std::vector<std::uint8_t, Allocator>& bytes) noexcept {
  // The storage past the end is the allocator's array of bytes all the same.
  SecureWipe(bytes.data(), bytes.capacity());
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
