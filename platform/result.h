// Results of platform operations, and the error that a stage can catch.
//
// A platform call that can fail returns a Status (or a Result<T>): success, or a
// message that says what failed and on which path or key. The install logic
// decides what to do with it; most stages only look at the file system afterwards.
//
// pm::Error is the one exception type of the install logic. It carries the three
// parts that the database stage prints on its failure line: a description, the
// source (the component that raised it) and a number.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace pm {

class Status {
 public:
  Status() = default;  // success
  static Status failure(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !message_.has_value(); }
  explicit operator bool() const { return ok(); }
  // Empty on success.
  const std::string& message() const {
    static const std::string empty;
    return message_ ? *message_ : empty;
  }

 private:
  explicit Status(std::string message) : message_(std::move(message)) {}
  std::optional<std::string> message_;
};

template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit on purpose
  Result(Status failure) : status_(std::move(failure)) {}  // NOLINT

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }
  const T& operator*() const { return *value_; }
  const T* operator->() const { return &*value_; }
  const Status& status() const { return status_; }
  const std::string& message() const { return status_.message(); }

 private:
  std::optional<T> value_;
  Status status_;
};

// An error raised in a stage: description, source, number (in that order on the
// failure line of the database stage).
class Error : public std::runtime_error {
 public:
  Error(std::string description, std::string source, long number)
      : std::runtime_error(description),
        description_(std::move(description)),
        source_(std::move(source)),
        number_(number) {}

  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }
  long number() const { return number_; }

 private:
  std::string description_;
  std::string source_;
  long number_;
};

}  // namespace pm
