// The automation object LSApp and the server's count of live objects.
// A client (the browser) holds one reference on the object it created;
// Start takes one more for the page being handled (AppObject), released
// when the job is over or the start window closes. In automation mode the
// process ends when the last object goes.
#pragma once

#include <functional>
#include <string>

#include "platform/com.h"
#include "platform/automation/variant.h"

namespace leafstash {

// The dual dispatch interface of LSApp: one method, Start(WB).
class ILSApp {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // Dispatch identifier 1.
  virtual HRESULT Start(const Variant& WB) = 0;

 protected:
  virtual ~ILSApp() = default;
};

class TLSApp : public ILSApp {
 public:
  // A new object with the creating client's reference.
  static TLSApp* Create();

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT Start(const Variant& WB) override;
  // Why the last Start failed, for the client.
  const std::string& ErrorText() const { return errorText_; }

 private:
  TLSApp();
  ~TLSApp() override;

  ULONG references_ = 1;
  std::string errorText_;
};

// What the server knows: its mode, its objects, the page capture that Start
// runs (the start window's), and what happens when the last object goes.
struct TComServer {
  bool AutomationMode = false;
  // The class object is single-use: one object per process, for the first
  // client that asks; later requests are refused.
  bool ClassObjectUsed = false;
  TLSApp* CreateObject();
  int ObjectCount = 0;
  int References = 0;  // on every object, the program's own included
  // References that clients hold, the program's extra one left out.
  int ClientReferences() const;
  std::function<void(const Variant& WB)> PageCapture;
  // Ends the process: when the last object goes in automation mode, when
  // a job is over and no object is left, when the start window closes.
  std::function<void()> EndProcess;
};
TComServer& ComServer();

// The object on which the program holds the extra reference, or null.
TLSApp* AppObject();
// Releases the extra reference, once.
void ReleaseAppObject();

}  // namespace leafstash
