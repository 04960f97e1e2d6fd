#include "fs/text.h"

#include <cstring>
#include <utility>

Text::Text(const char* text) { if (text) assign(text, std::strlen(text)); }

Text::Text(const char* bytes, size_t length) { assign(bytes, length); }

Text::Text(const Text& other) { assign(other.c_str(), other.size_); }

Text::Text(Text&& other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

Text& Text::operator=(const Text& other) {
  if (this != &other) assign(other.c_str(), other.size_);
  return *this;
}

Text& Text::operator=(Text&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  return *this;
}

Text& Text::operator=(const char* text) {
  assign(text ? text : "", text ? std::strlen(text) : 0);
  return *this;
}

Text::~Text() { delete[] data_; }

void Text::assign(const char* bytes, size_t length) {
  char* copy = new char[length + 1];
  if (length) std::memcpy(copy, bytes, length);
  copy[length] = 0;
  delete[] data_;
  data_ = copy;
  size_ = length;
}

void Text::append(const char* bytes, size_t length) {
  char* joined = new char[size_ + length + 1];
  if (size_) std::memcpy(joined, data_, size_);
  if (length) std::memcpy(joined + size_, bytes, length);
  joined[size_ + length] = 0;
  delete[] data_;
  data_ = joined;
  size_ += length;
}

Text& Text::operator+=(const char* text) {
  append(text, std::strlen(text));
  return *this;
}

bool Text::operator==(const char* text) const {
  size_t length = std::strlen(text);
  return length == size_ && std::memcmp(c_str(), text, length) == 0;
}

bool Text::operator==(const Text& other) const {
  return size_ == other.size_ && std::memcmp(c_str(), other.c_str(), size_) == 0;
}

TextList::TextList(const TextList& other) {
  for (const Text& t : other) push_back(t);
}

TextList& TextList::operator=(const TextList& other) {
  if (this != &other) {
    clear();
    for (const Text& t : other) push_back(t);
  }
  return *this;
}

TextList::TextList(TextList&& other) noexcept
    : items_(other.items_), size_(other.size_), capacity_(other.capacity_) {
  other.items_ = nullptr;
  other.size_ = other.capacity_ = 0;
}

TextList& TextList::operator=(TextList&& other) noexcept {
  std::swap(items_, other.items_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
  return *this;
}

TextList::~TextList() { delete[] items_; }

void TextList::push_back(const Text& text) {
  Text copy(text);  // text may be one of the items moved below
  if (size_ == capacity_) {
    size_t capacity = capacity_ ? 2 * capacity_ : 4;
    Text* grown = new Text[capacity];
    for (size_t i = 0; i < size_; ++i) grown[i] = std::move(items_[i]);
    delete[] items_;
    items_ = grown;
    capacity_ = capacity;
  }
  items_[size_++] = std::move(copy);
}

void TextList::clear() {
  delete[] items_;
  items_ = nullptr;
  size_ = capacity_ = 0;
}
