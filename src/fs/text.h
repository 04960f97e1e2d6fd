// Small owned texts and lists of them, for the values that cross the engine's layers (the run
// settings, names, the destination). The stub carries every byte of its code in each archive:
// these keep the standard library's string and vector, and the exception machinery they bring,
// out of it.
#pragma once

#include <cstddef>

// A NUL-terminated text of its own; may hold NUL bytes inside (size() counts them).
class Text {
 public:
  Text() = default;
  Text(const char* text);  // NOLINT: converts like a string literal does
  Text(const char* bytes, size_t length);
  Text(const Text& other);
  Text(Text&& other) noexcept;
  Text& operator=(const Text& other);
  Text& operator=(Text&& other) noexcept;
  Text& operator=(const char* text);
  ~Text();

  const char* c_str() const { return data_ ? data_ : ""; }
  char* data() { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char& operator[](size_t i) { return data_[i]; }
  char operator[](size_t i) const { return data_[i]; }

  void assign(const char* bytes, size_t length);
  void append(const char* bytes, size_t length);
  Text& operator+=(const char* text);
  Text& operator+=(char c) { append(&c, 1); return *this; }

  bool operator==(const char* text) const;
  bool operator==(const Text& other) const;
  bool operator!=(const char* text) const { return !(*this == text); }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
};

// Texts in the order they were added.
class TextList {
 public:
  TextList() = default;
  TextList(const TextList& other);
  TextList& operator=(const TextList& other);
  TextList(TextList&& other) noexcept;
  TextList& operator=(TextList&& other) noexcept;
  ~TextList();

  void push_back(const Text& text);
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const Text& operator[](size_t i) const { return items_[i]; }
  const Text* begin() const { return items_; }
  const Text* end() const { return items_ + size_; }
  void clear();

 private:
  Text* items_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};
