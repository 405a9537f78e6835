#pragma once
// Descending sort of a key array that moves a companion array along. The
// order of equal keys is part of the result (it fixes the item order of every
// tree), so the procedure is kept exactly: quicksort with a middle pivot down
// to ranges of nine entries, insertion sort below. `key` must start at index 0
// of the arrays: the right scan of the partition is bounded by 0, not by i.
// Beside it, the one sort of the short lists of positions of one itemset or path.
#include <algorithm>

namespace zub {

inline int findpivot(const int& i, const int& j) { return (i + j) / 2; }

template <class T>
inline void swap_entries(int* key, T* other, int a, int b) {
  std::swap(key[a], key[b]);
  std::swap(other[a], other[b]);
}

template <class T>
int partition(int* key, T* other, int l, int r, int pivot) {
  do {
    while (key[++l] > pivot) {
    }
    while (r != 0 && key[--r] < pivot) {
    }
    swap_entries(key, other, l, r);
  } while (l < r);
  swap_entries(key, other, l, r);  // undoes the exchange of the last pass
  return l;
}

template <class T>
void inssort(int* key, T* other, int i, int j) {
  for (int m = i + 1; m <= j; ++m)
    for (int n = m; n > i && key[n] > key[n - 1]; --n) swap_entries(key, other, n, n - 1);
}

// Ascending order of n entries by key(entry), the keys distinct: by
// insertion when they are few, else by std::sort, whose time does not grow
// with the square of n when the entries come in no order.
template <class T, class Key>
inline void sort_by_key(T* a, int n, Key&& key) {
  if (n > 24) {
    std::sort(a, a + n, [&key](T x, T y) { return key(x) < key(y); });
    return;
  }
  for (int m = 1; m < n; ++m) {
    const T v = a[m];
    const auto k = key(v);
    int j = m;
    for (; j > 0 && k < key(a[j - 1]); --j) a[j] = a[j - 1];
    a[j] = v;
  }
}

template <class T>
void sort(int* key, T* other, int i, int j) {
  while (j - i > 8) {
    const int p = findpivot(i, j);
    swap_entries(key, other, p, j);
    const int k = partition(key, other, i - 1, j, key[j]);
    swap_entries(key, other, k, j);
    if (k - i >= 2) sort(key, other, i, k - 1);
    if (j - k <= 1) return;
    i = k + 1;
  }
  inssort(key, other, i, j);
}

// Intersection of two ascending arrays into `result`; returns its length.
inline int intersect(const int* a, int na, const int* b, int nb, int* result) {
  return static_cast<int>(std::set_intersection(a, a + na, b, b + nb, result) - result);
}

}  // namespace zub
