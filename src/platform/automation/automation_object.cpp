#include "platform/automation/automation_object.h"

#include "html/text_utils.h"

namespace leafstash {

void TAutomationObject::SetProperty(std::string_view Name, Variant Value) {
  properties_[LowerCopy(Name)] = [value = std::move(Value)] { return value; };
}

void TAutomationObject::SetGetter(std::string_view Name, Getter Read) {
  properties_[LowerCopy(Name)] = std::move(Read);
}

void TAutomationObject::SetMethod(std::string_view Name, Method Body) {
  methods_[LowerCopy(Name)] = std::move(Body);
}

Variant TAutomationObject::Get(std::string_view Name) {
  auto it = properties_.find(LowerCopy(Name));
  if (it == properties_.end())
    throw AutomationError(DISP_E_UNKNOWNNAME, "unknown member " + std::string(Name));
  return it->second();
}

Variant TAutomationObject::Invoke(std::string_view Name,
                                  const std::vector<Variant>& Args) {
  auto it = methods_.find(LowerCopy(Name));
  if (it == methods_.end())
    throw AutomationError(DISP_E_UNKNOWNNAME, "unknown member " + std::string(Name));
  return it->second(Args);
}

}  // namespace leafstash
