// A plain automation object: named properties and methods, looked up
// without regard to ASCII case.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/automation/variant.h"

namespace leafstash {

class TAutomationObject : public IDispatchObject {
 public:
  using Method = std::function<Variant(const std::vector<Variant>& Args)>;
  using Getter = std::function<Variant()>;

  void SetProperty(std::string_view Name, Variant Value);
  // A property whose value is computed at each read (a window's parent
  // that is the window itself is held weakly this way).
  void SetGetter(std::string_view Name, Getter Read);
  void SetMethod(std::string_view Name, Method Body);

  Variant Get(std::string_view Name) override;
  Variant Invoke(std::string_view Name, const std::vector<Variant>& Args) override;

 private:
  std::map<std::string, Getter> properties_;  // keys in lower case
  std::map<std::string, Method> methods_;
};

}  // namespace leafstash
