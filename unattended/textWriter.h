// Where the run without windows writes its text: standard output and error,
// the report's own copy of standard output, the run log. Plain bytes, written
// at once as an unbuffered stream would; no iostreams, whose locale machinery
// alone would be most of the Windows programs' size.
#pragma once

#include <concepts>
#include <cstdio>
#include <string>
#include <string_view>

namespace pm::unattended {

class TextWriter {
 public:
  virtual ~TextWriter() = default;
  virtual void write(std::string_view text) = 0;

  TextWriter& operator<<(std::string_view text) {
    write(text);
    return *this;
  }
  TextWriter& operator<<(char c) { return *this << std::string_view(&c, 1); }
  template <std::integral T>
  requires(!std::same_as<T, char> && !std::same_as<T, bool>) TextWriter& operator<<(T n) {
    return *this << std::string_view(std::to_string(n));
  }
};

// A C stream (nullptr: nowhere), flushed after every write.
class FileOut : public TextWriter {
 public:
  explicit FileOut(std::FILE* file) : file_(file) {}
  void write(std::string_view text) override {
    if (!file_) return;
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_;
};

// Keeps what is written, to be shown later.
class StringOut : public TextWriter {
 public:
  void write(std::string_view text) override { text_ += text; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace pm::unattended
