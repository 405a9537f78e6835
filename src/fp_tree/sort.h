#pragma once
// Descending sort of a key array that moves a companion array along. The
// order of equal keys is part of the result (it fixes the item order of every
// tree), so the procedure is kept exactly: quicksort with a middle pivot down
// to ranges of nine entries, insertion sort below. `key` must start at index 0
// of the arrays: the right scan of the partition is bounded by 0, not by i.

namespace zub {

inline int findpivot(const int& i, const int& j) { return (i + j) / 2; }

template <class T>
inline void swap_entries(int* key, T* other, int a, int b) {
  int k = key[a];
  key[a] = key[b];
  key[b] = k;
  T o = other[a];
  other[a] = other[b];
  other[b] = o;
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

// The one insertion sort: entries from..to, read by get(i) and written by
// put(i, value), in the order `before` gives; stable, entries shift rather
// than swap.
template <class Get, class Put, class Before>
void insertion_sort(int from, int to, Get&& get, Put&& put, Before&& before) {
  for (int m = from + 1; m <= to; ++m) {
    const auto v = get(m);
    int n = m;
    for (; n > from && before(v, get(n - 1)); --n) put(n, get(n - 1));
    put(n, v);
  }
}

// Ascending order of a short array by key(entry).
template <class T, class Key>
void insertion_sort(T* a, int n, Key&& key) {
  insertion_sort(
      0, n - 1, [a](int i) { return a[i]; }, [a](int i, T v) { a[i] = v; },
      [&key](T x, T y) { return key(x) < key(y); });
}

template <class T>
void inssort(int* key, T* other, int i, int j) {
  struct Entry {
    int key;
    T other;
  };
  insertion_sort(
      i, j, [&](int m) { return Entry{key[m], other[m]}; }, [&](int m, Entry e) { key[m] = e.key, other[m] = e.other; },
      [](const Entry& x, const Entry& y) { return x.key > y.key; });
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
  int x = 0, y = 0, n = 0;
  while (x < na && y < nb) {
    if (a[x] == b[y]) {
      result[n++] = a[x];
      ++x;
      ++y;
    } else if (a[x] < b[y]) {
      ++x;
    } else {
      ++y;
    }
  }
  return n;
}

}  // namespace zub
