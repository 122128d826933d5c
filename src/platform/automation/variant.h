// Late-bound automation: a variant value and the dispatch interface through
// which the program reads the browser's page objects by member name.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/com_types.h"

namespace leafstash {

// A failed automation call, with its status code.
class AutomationError : public std::runtime_error {
 public:
  AutomationError(HRESULT Status, const std::string& Message)
      : std::runtime_error(Message), status_(Status) {}
  HRESULT Status() const { return status_; }

 private:
  HRESULT status_;
};

class IDispatchObject;
using DispatchPtr = std::shared_ptr<IDispatchObject>;

class Variant {
 public:
  enum class Type { Empty, Null, Bool, Integer, Double, Text, Object };

  Variant() = default;
  Variant(bool Value) : value_(Value) {}
  Variant(int Value) : value_(static_cast<std::int64_t>(Value)) {}
  Variant(std::int64_t Value) : value_(Value) {}
  Variant(double Value) : value_(Value) {}
  Variant(const char* Value) : value_(std::string(Value)) {}
  Variant(std::string Value) : value_(std::move(Value)) {}
  Variant(DispatchPtr Value) : value_(std::move(Value)) {}
  static Variant Null();

  Type GetType() const;
  bool IsEmpty() const { return GetType() == Type::Empty; }
  bool IsNull() const { return GetType() == Type::Null; }
  bool IsObject() const { return GetType() == Type::Object; }

  // The object held; an automation error when the value is not one.
  const DispatchPtr& Object() const;
  // Property and method access on the object held.
  Variant Get(std::string_view Name) const;
  Variant Invoke(std::string_view Name, const std::vector<Variant>& Args = {}) const;

  // Empty and Null give empty text, numbers their decimal text, booleans
  // "True" or "False"; an object is a type mismatch.
  std::string ToText() const;
  // Integers, and numeric text; anything else is a type mismatch.
  std::int64_t ToInteger() const;

 private:
  struct NullTag {};
  std::variant<std::monostate, NullTag, bool, std::int64_t, double, std::string,
               DispatchPtr>
      value_;
};

// An automation object: members are found by name without regard to case;
// an unknown member is an automation error.
class IDispatchObject {
 public:
  virtual ~IDispatchObject() = default;
  virtual Variant Get(std::string_view Name) = 0;
  virtual Variant Invoke(std::string_view Name, const std::vector<Variant>& Args) = 0;
};

}  // namespace leafstash
