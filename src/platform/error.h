#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace vorel {

// Base of every failure the service raises itself. Several texts the service writes show both the kind
// name and the message of a failure ("POST.Error:" + kind + " " + message), so every class names itself.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
  virtual const char* kind() const noexcept { return "Error"; }
};

// Declares a subclass of Error (or of another Error subclass) whose kind name is its class name.
#define VOREL_DEFINE_ERROR(Name, Base)                           \
  class Name : public Base {                                     \
   public:                                                       \
    using Base::Base;                                            \
    const char* kind() const noexcept override { return #Name; } \
  }

// Kind name of any exception: the Error kind, or "Exception" for foreign ones.
inline const char* KindOf(const std::exception& e) noexcept {
  if (auto* own = dynamic_cast<const Error*>(&e)) return own->kind();
  return "Exception";
}

// Message of a caught failure, for reports made from a catch (...) block.
inline std::string MessageOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown failure";
  }
}

}  // namespace vorel
