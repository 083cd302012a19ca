#pragma once
// Text of the reports built through a raw pointer: a piece asks once for the
// most room it can take, writes its parts without a check each, and says where
// it ended. The JSON report writes one entry per file of the tree; appended
// part by part to a std::string, an entry of /usr (165,000 of them, about 90
// bytes each) took 1,350 instructions, a third of them in the string's
// capacity checks, its growth and its range append. Written this way it takes
// about 480.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace tlr {

// A growable run of bytes; its memory is its own and moves with it.
class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(TextBuffer&& other) noexcept
      : m_data(std::exchange(other.m_data, nullptr)),
        m_size(std::exchange(other.m_size, 0)),
        m_capacity(std::exchange(other.m_capacity, 0)) {}
  TextBuffer& operator=(TextBuffer&& other) noexcept {
    if (this != &other) {
      std::free(m_data);
      m_data = std::exchange(other.m_data, nullptr);
      m_size = std::exchange(other.m_size, 0);
      m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
  }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  ~TextBuffer() { std::free(m_data); }

  // Where at least n more bytes may be written; done() then takes the end.
  char* room(size_t n) {
    if (m_capacity - m_size < n) grow(n);
    return m_data + m_size;
  }
  void done(char* end) { m_size = static_cast<size_t>(end - m_data); }

  void append(std::string_view text) {
    if (text.empty()) return;
    std::memcpy(room(text.size()), text.data(), text.size());
    m_size += text.size();
  }
  std::string_view view() const { return {m_data, m_size}; }
  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  // Gives back the room asked for but not used: a piece kept for a while
  // (a folder's text waiting for the folders before it) holds its text only.
  void shrinkToFit() {
    if (m_capacity - m_size < 64) return;
    if (void* data = std::realloc(m_data, m_size ? m_size : 1)) {
      m_data = static_cast<char*>(data);
      m_capacity = m_size ? m_size : 1;
    }
  }
  // Gives the memory back.
  void release() {
    std::free(m_data);
    m_data = nullptr;
    m_size = m_capacity = 0;
  }

 private:
  void grow(size_t n) {
    // Doubling: a folder of 100,000 files is one piece of 9 MB, grown in
    // about 16 steps, most of them by moving pages (realloc), not bytes.
    if (n > SIZE_MAX / 4 - m_size) throw std::bad_alloc();
    size_t capacity = m_capacity < 256 ? 256 : m_capacity * 2;
    if (capacity < m_size + n) capacity = m_size + n;
    void* data = std::realloc(m_data, capacity);
    if (!data) throw std::bad_alloc();
    m_data = static_cast<char*>(data);
    m_capacity = capacity;
  }

  char* m_data = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
};

// The parts, each returning the end of what it wrote.
template <size_t N>
inline char* putText(char* p, const char (&literal)[N]) {
  std::memcpy(p, literal, N - 1);
  return p + N - 1;
}
inline char* putText(char* p, std::string_view text) {
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

// A decimal number takes at most this many bytes ("-9223372036854775808",
// "18446744073709551615").
inline constexpr size_t kNumberRoom = 20;
// The digits of v, from the last two up: the count first, from the highest
// bit set, so they go in place without a move. std::to_chars counted them
// with a loop of divisions and took 64 instructions for a number of /usr's
// report (five an entry); this takes 46.
inline char* putNumber(char* p, uint64_t v) {
  static constexpr uint64_t kPowers[20] = {1ULL,
                                           10ULL,
                                           100ULL,
                                           1000ULL,
                                           10000ULL,
                                           100000ULL,
                                           1000000ULL,
                                           10000000ULL,
                                           100000000ULL,
                                           1000000000ULL,
                                           10000000000ULL,
                                           100000000000ULL,
                                           1000000000000ULL,
                                           10000000000000ULL,
                                           100000000000000ULL,
                                           1000000000000000ULL,
                                           10000000000000000ULL,
                                           100000000000000000ULL,
                                           1000000000000000000ULL,
                                           10000000000000000000ULL};
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  // 1233 / 4096 is log10(2) to five places: bits * 1233 >> 12 is the digits
  // less one, or one short of that when v has reached the next power of ten.
  const unsigned bits = 64 - static_cast<unsigned>(__builtin_clzll(v | 1));
  unsigned digits = (bits * 1233) >> 12;
  digits += v >= kPowers[digits];
  if (digits == 0) digits = 1;
  char* const end = p + digits;
  char* q = end;
  // Most figures (dates, inodes, sizes under 4 GiB) fit in 32 bits, whose
  // divisions are cheaper.
  for (; v > UINT32_MAX; v /= 100) std::memcpy(q -= 2, kPairs + 2 * (v % 100), 2);
  auto u = static_cast<uint32_t>(v);
  for (; u >= 100; u /= 100) std::memcpy(q -= 2, kPairs + 2 * (u % 100), 2);
  if (u >= 10)
    std::memcpy(q - 2, kPairs + 2 * u, 2);
  else
    q[-1] = static_cast<char>('0' + u);
  return end;
}
inline char* putNumber(char* p, int64_t v) {
  if (v >= 0) return putNumber(p, static_cast<uint64_t>(v));
  *p++ = '-';
  return putNumber(p, 0 - static_cast<uint64_t>(v));
}

// The room a JSON string of n bytes of name can take: every byte as \u00XX.
inline constexpr size_t jsonStringRoom(size_t n) { return 6 * n + 2; }

// Whether any of the eight bytes in w must be escaped in a JSON string: one
// below 0x20, a quote, a backslash or DEL. Exact (the borrows that make these
// tests inexact for counting start only at a byte that matches).
inline bool anyJsonEscape(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  const auto zeroByte = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  return (((w - 0x20 * kOnes) & ~w & kHighs) | zeroByte(w ^ ('"' * kOnes)) | zeroByte(w ^ ('\\' * kOnes)) |
          zeroByte(w ^ (0x7f * kOnes))) != 0;
}

// A JSON string as the dump format writes names: quote and backslash escaped,
// control characters and DEL as \u00XX, every other byte as it is (names need
// not be UTF-8). Eight bytes at a time while none needs escaping: most names
// need none, and byte by byte (14 instructions a byte) this loop took a third
// of the time the JSON report spent on its text.
inline char* putJsonString(char* p, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  const char* d = s.data();
  const size_t n = s.size();
  size_t i = 0;
  *p++ = '"';
  for (; n - i >= 8; i += 8, p += 8) {
    uint64_t w;
    std::memcpy(&w, d + i, 8);
    if (anyJsonEscape(w)) break;
    std::memcpy(p, &w, 8);
  }
  for (; i < n; ++i) {
    const auto c = static_cast<unsigned char>(d[i]);
    if (c >= 0x20 && c != '"' && c != '\\' && c != 0x7f) {
      *p++ = d[i];
    } else if (c == '"' || c == '\\') {
      *p++ = '\\';
      *p++ = d[i];
    } else {
      p = putText(p, "\\u00");
      *p++ = kHex[c >> 4];
      *p++ = kHex[c & 15];
    }
  }
  *p++ = '"';
  return p;
}

}  // namespace tlr
