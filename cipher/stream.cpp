#include "cipher/stream.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"
#include "base/wipe.h"
#include "cipher/random.h"

namespace qlx::cipher {

void Stream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw Error("Stream read error");
}

void Stream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw Error("Stream write error");
}

MemoryStream::MemoryStream(const void* bytes, std::size_t count) {
  SetSize(static_cast<std::int64_t>(count));
  if (count) std::memcpy(data_, bytes, count);
}

MemoryStream::~MemoryStream() {
  SecureWipe(data_, static_cast<std::size_t>(capacity_));
  delete[] data_;
}

void MemoryStream::Reserve(std::int64_t capacity) {
  if (capacity <= capacity_) return;
  std::int64_t grown = std::max<std::int64_t>(capacity, capacity_ + capacity_ / 2);
  auto* fresh = new std::uint8_t[static_cast<std::size_t>(grown)]();
  if (size_) std::memcpy(fresh, data_, static_cast<std::size_t>(size_));
  SecureWipe(data_, static_cast<std::size_t>(capacity_));
  delete[] data_;
  data_ = fresh;
  capacity_ = grown;
}

void MemoryStream::SetSize(std::int64_t size) {
  if (size < 0) size = 0;
  if (size > capacity_) {
    Reserve(size);
  } else if (size < size_) {
    SecureWipe(data_ + size, static_cast<std::size_t>(size_ - size));
  }
  // Bytes between the old and the new size are always zero: the tail is
  // wiped on shrink and fresh storage starts zeroed.
  size_ = size;
  if (position_ > size_) position_ = size_;
}

std::int64_t MemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  std::int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t MemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  std::int64_t end = position_ + count;
  if (end > size_) SetSize(end);
  std::memmove(data_ + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t MemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? position_ : size_;
  std::int64_t target = base + offset;
  position_ = std::clamp<std::int64_t>(target, 0, size_);
  return position_;
}

void MemoryStream::Swap(MemoryStream& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  std::swap(position_, other.position_);
}

void WipeBytes(void* data, std::size_t count) noexcept { SecureWipe(data, count); }

void ZeroStreamContent(MemoryStream& stream) noexcept {
  SecureWipe(stream.Memory(), static_cast<std::size_t>(stream.Size()));
}

void WipeMemoryStream(MemoryStream& stream) noexcept {
  ZeroStreamContent(stream);
  stream.SetSize(0);
}

void FillStreamRandom(MemoryStream& stream) {
  TRandomStream::Instance().Read(stream.Memory(), stream.Size());
}

std::unique_ptr<MemoryStream> DuplicateMemoryStream(const MemoryStream& source) {
  auto copy = std::make_unique<MemoryStream>(source.Memory(), static_cast<std::size_t>(source.Size()));
  copy->SetPosition(source.CurrentPosition());
  return copy;
}

void CopyStreamContent(const MemoryStream& source, MemoryStream& destination) {
  destination.SetSize(source.Size());
  if (source.Size()) std::memcpy(destination.Memory(), source.Memory(), static_cast<std::size_t>(source.Size()));
}

void XorIntoStream(MemoryStream& destination, const MemoryStream& source) noexcept {
  std::size_t n = static_cast<std::size_t>(std::min(destination.Size(), source.Size()));
  std::uint8_t* d = destination.Memory();
  const std::uint8_t* s = source.Memory();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, d + i, 8);
    std::memcpy(&b, s + i, 8);
    a ^= b;
    std::memcpy(d + i, &a, 8);
  }
  for (; i < n; ++i) d[i] ^= s[i];
}

}  // namespace qlx::cipher
