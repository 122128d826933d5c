#include "platform/automation/variant.h"

#include <charconv>
#include <cmath>

namespace leafstash {

Variant Variant::Null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

Variant::Type Variant::GetType() const {
  switch (value_.index()) {
    case 0: return Type::Empty;
    case 1: return Type::Null;
    case 2: return Type::Bool;
    case 3: return Type::Integer;
    case 4: return Type::Double;
    case 5: return Type::Text;
    default: return Type::Object;
  }
}

const DispatchPtr& Variant::Object() const {
  const DispatchPtr* object = std::get_if<DispatchPtr>(&value_);
  if (!object || !*object)
    throw AutomationError(DISP_E_TYPEMISMATCH, "the value is not an object");
  return *object;
}

Variant Variant::Get(std::string_view Name) const { return Object()->Get(Name); }

Variant Variant::Invoke(std::string_view Name, const std::vector<Variant>& Args) const {
  return Object()->Invoke(Name, Args);
}

std::string Variant::ToText() const {
  switch (GetType()) {
    case Type::Empty:
    case Type::Null:
      return {};
    case Type::Bool:
      return std::get<bool>(value_) ? "True" : "False";
    case Type::Integer:
      return std::to_string(std::get<std::int64_t>(value_));
    case Type::Double: {
      const double d = std::get<double>(value_);
      if (std::isnan(d)) return "NAN";
      if (std::isinf(d)) return d > 0 ? "INF" : "-INF";
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
      return std::string(buffer, result.ptr);
    }
    case Type::Text:
      return std::get<std::string>(value_);
    case Type::Object:
      break;
  }
  throw AutomationError(DISP_E_TYPEMISMATCH, "an object has no text");
}

std::int64_t Variant::ToInteger() const {
  switch (GetType()) {
    case Type::Integer:
      return std::get<std::int64_t>(value_);
    case Type::Bool:
      return std::get<bool>(value_) ? -1 : 0;
    case Type::Double: {
      const double d = std::get<double>(value_);
      if (std::isfinite(d) && std::fabs(d) < 9.2e18) return std::llround(d);
      break;
    }
    case Type::Text: {
      const std::string& text = std::get<std::string>(value_);
      std::int64_t n = 0;
      auto result = std::from_chars(text.data(), text.data() + text.size(), n);
      if (result.ec == std::errc() && result.ptr == text.data() + text.size() &&
          !text.empty())
        return n;
      break;
    }
    default:
      break;
  }
  throw AutomationError(DISP_E_TYPEMISMATCH, "the value is not a number");
}

}  // namespace leafstash
