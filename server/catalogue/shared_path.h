// A picture's path as the catalogue keeps it: one pointer to an immutable heap block that
// holds a reference count, the length and the characters. Copies share the block, so every
// version of the picture list, and every copy of an entry handed to a request, costs a
// pointer per path instead of the path's characters and an allocation. The count is atomic:
// lists are read, and entries copied from them, on many threads at once.
#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string_view>
#include <utility>

class SharedPath {
 public:
  static constexpr size_t npos = std::string_view::npos;

  // The empty path; holds no block.
  SharedPath() noexcept = default;
  // A new block holding `text`. REQUIRES: text.size() < 4 GiB (paths are far shorter).
  explicit SharedPath(std::string_view text);
  SharedPath(const SharedPath& other) noexcept : block_(other.block_) { Retain(); }
  SharedPath(SharedPath&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  SharedPath& operator=(const SharedPath& other) noexcept {
    SharedPath(other).swap(*this);
    return *this;
  }
  SharedPath& operator=(SharedPath&& other) noexcept {
    SharedPath(std::move(other)).swap(*this);
    return *this;
  }
  ~SharedPath() { Release(); }

  void swap(SharedPath& other) noexcept {
    Block* const held = block_;
    block_ = other.block_;
    other.block_ = held;
  }

  size_t size() const noexcept { return block_ ? block_->size : 0; }
  bool empty() const noexcept { return size() == 0; }
  // The characters, followed by a NUL; stable for as long as any copy lives.
  const char* data() const noexcept { return block_ ? Text(block_) : ""; }
  const char* c_str() const noexcept { return data(); }
  std::string_view view() const noexcept { return std::string_view(data(), size()); }
  operator std::string_view() const noexcept { return view(); }

  size_t find(std::string_view part, size_t from = 0) const noexcept {
    return view().find(part, from);
  }
  size_t find(char c, size_t from = 0) const noexcept { return view().find(c, from); }
  size_t rfind(std::string_view part, size_t from = npos) const noexcept {
    return view().rfind(part, from);
  }
  size_t rfind(char c, size_t from = npos) const noexcept { return view().rfind(c, from); }
  // A view into this path's characters, valid while a copy of it lives.
  std::string_view substr(size_t from, size_t count = npos) const {
    return view().substr(from, count);
  }

  // Byte-wise, as std::string compares.
  friend bool operator==(const SharedPath& a, const SharedPath& b) noexcept {
    return a.block_ == b.block_ || a.view() == b.view();
  }
  friend bool operator==(const SharedPath& a, std::string_view b) noexcept {
    return a.view() == b;
  }
  friend std::strong_ordering operator<=>(const SharedPath& a, const SharedPath& b) noexcept {
    return a.view() <=> b.view();
  }
  friend std::strong_ordering operator<=>(const SharedPath& a, std::string_view b) noexcept {
    return a.view() <=> b;
  }

 private:
  // The characters and their NUL follow the header in the same allocation.
  struct Block {
    std::atomic<uint32_t> references;
    uint32_t size;
  };
  static const char* Text(const Block* block) noexcept {
    return reinterpret_cast<const char*>(block + 1);
  }
  void Retain() const noexcept {
    if (block_) block_->references.fetch_add(1, std::memory_order_relaxed);
  }
  // The last copy frees the block: the decrement publishes this copy's reads to the thread
  // that frees it.
  void Release() noexcept {
    if (block_ && block_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) Free(block_);
  }
  static void Free(Block* block) noexcept;

  Block* block_ = nullptr;
};

// The characters, as a std::string would print.
std::ostream& operator<<(std::ostream& out, const SharedPath& path);
