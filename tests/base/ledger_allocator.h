#pragma once
// A test allocator that keeps a ledger of the blocks it hands out, for the
// tests of what the wipe and the secret text leave in memory.
#include <algorithm>
#include <cstddef>
#include <map>
#include <new>
#include <string_view>

namespace qlx::test_memory {

// Every block the texts of one test take, live or given back, so that a
// test can look for a secret in all of them, and see whether what was
// given back was wiped first.
struct Ledger {
  std::map<const unsigned char*, std::size_t> live;
  int frees = 0;
  int frees_not_wiped = 0;

  static bool Holds(const unsigned char* bytes, std::size_t size, std::u16string_view secret) {
    const auto* needle = reinterpret_cast<const unsigned char*>(secret.data());
    const std::size_t length = secret.size() * sizeof(char16_t);
    return std::search(bytes, bytes + size, needle, needle + length) != bytes + size;
  }
  bool LiveBlocksAllZero() const {
    return std::all_of(live.begin(), live.end(), [](const auto& block) {
      return std::all_of(block.first, block.first + block.second, [](unsigned char b) { return b == 0; });
    });
  }
  bool AnyLiveBlockHolds(std::u16string_view secret) const {
    return std::any_of(live.begin(), live.end(), [&](const auto& block) { return Holds(block.first, block.second, secret); });
  }
};

template <class T>
struct LedgerAllocator {
  using value_type = T;
  Ledger* ledger;

  explicit LedgerAllocator(Ledger* l) : ledger(l) {}
  template <class U>
  LedgerAllocator(const LedgerAllocator<U>& other) : ledger(other.ledger) {}

  T* allocate(std::size_t n) {
    auto* p = static_cast<unsigned char*>(::operator new(n * sizeof(T)));
    ledger->live[p] = n * sizeof(T);
    return reinterpret_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) {
    auto* bytes = reinterpret_cast<unsigned char*>(p);
    const std::size_t size = n * sizeof(T);
    ++ledger->frees;
    if (std::any_of(bytes, bytes + size, [](unsigned char b) { return b != 0; })) ++ledger->frees_not_wiped;
    ledger->live.erase(bytes);
    ::operator delete(p, size);
  }
  template <class U>
  bool operator==(const LedgerAllocator<U>& other) const {
    return ledger == other.ledger;
  }
};

}  // namespace qlx::test_memory
