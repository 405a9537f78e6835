#pragma once
// An array of n zeros whose memory the system hands out page by page as it
// is first written. A thread's scratch by item or by itemset length has an
// entry per frequent item, but wide data (a million items in one line)
// touches only a few pages of most of them: vectors filled with zeros would
// make every worker resident for all of it.
#include <cstddef>
#include <type_traits>

namespace zub {

// Zeroed bytes: large requests straight from the system (untouched pages
// stay unbacked), small ones from the heap. Throws std::bad_alloc.
void* allocate_zeroed(std::size_t bytes);
void release_zeroed(void* p, std::size_t bytes);
// The same bytes in a block of `bytes`, zeros after them; mapped pages move
// without a copy. Throws std::bad_alloc (and `p` stays valid).
void* resize_zeroed(void* p, std::size_t old_bytes, std::size_t bytes);

template <class T>
class ZeroedArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  ZeroedArray() = default;
  explicit ZeroedArray(std::size_t n)
      : data_(n > 0 ? static_cast<T*>(allocate_zeroed(n * sizeof(T))) : nullptr), size_(n) {}
  ~ZeroedArray() { release_zeroed(data_, size_ * sizeof(T)); }
  ZeroedArray(ZeroedArray&& o) noexcept : data_(o.data_), size_(o.size_) { o.data_ = nullptr, o.size_ = 0; }
  ZeroedArray& operator=(ZeroedArray&& o) noexcept {
    if (this != &o) {
      release_zeroed(data_, size_ * sizeof(T));
      data_ = o.data_, size_ = o.size_;
      o.data_ = nullptr, o.size_ = 0;
    }
    return *this;
  }
  ZeroedArray(const ZeroedArray&) = delete;
  ZeroedArray& operator=(const ZeroedArray&) = delete;

  // Grows or shrinks to n entries, keeping the first ones; new ones are zero.
  void resize(std::size_t n) {
    data_ = static_cast<T*>(resize_zeroed(data_, size_ * sizeof(T), n * sizeof(T)));
    size_ = n;
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& operator[](std::size_t k) { return data_[k]; }
  const T& operator[](std::size_t k) const { return data_[k]; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace zub
