#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qlx::cipher {

enum class SeekOrigin { Begin, Current, End };

// The runtime's general stream: runs read from and write to these.
class Stream {
 public:
  virtual ~Stream() = default;
  // Reads up to count bytes; returns how many were read (never negative).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes count bytes; returns how many were taken.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  virtual std::int64_t Size() const = 0;
  virtual void SetSize(std::int64_t size) = 0;

  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }
  // Exactly count bytes or "Stream read error" / "Stream write error".
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
};

// Byte buffer with a size and a position. Its bytes are wiped whenever they
// are released (shrink, reallocation, destruction): it carries keys and IVs.
class MemoryStream final : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::int64_t size) { SetSize(size); }
  MemoryStream(const void* bytes, std::size_t count);
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  ~MemoryStream() override;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() const override { return size_; }
  void SetSize(std::int64_t size) override;

  std::uint8_t* Memory() noexcept { return data_; }
  const std::uint8_t* Memory() const noexcept { return data_; }
  std::vector<std::uint8_t> Bytes() const { return {data_, data_ + size_}; }
  std::int64_t CurrentPosition() const noexcept { return position_; }
  // Exchanges contents and positions without copying (the run's buffer swap).
  void Swap(MemoryStream& other) noexcept;

 private:
  void Reserve(std::int64_t capacity);

  std::uint8_t* data_ = nullptr;
  std::int64_t size_ = 0;
  std::int64_t capacity_ = 0;
  std::int64_t position_ = 0;
};

// Plain helpers used throughout the engine.
void WipeBytes(void* data, std::size_t count) noexcept;
void ZeroStreamContent(MemoryStream& stream) noexcept;  // keeps the size
void WipeMemoryStream(MemoryStream& stream) noexcept;   // zero, then size 0
void FillStreamRandom(MemoryStream& stream);            // from TRandomStream::Instance()
std::unique_ptr<MemoryStream> DuplicateMemoryStream(const MemoryStream& source);
void CopyStreamContent(const MemoryStream& source, MemoryStream& destination);
// destination := destination XOR source over the shorter length.
void XorIntoStream(MemoryStream& destination, const MemoryStream& source) noexcept;

}  // namespace qlx::cipher
