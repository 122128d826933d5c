#include "core/ls_app.h"

#include <exception>

namespace leafstash {
namespace {
TLSApp* appObject = nullptr;
}  // namespace

TComServer& ComServer() {
  static TComServer server;
  return server;
}

TLSApp* TComServer::CreateObject() {
  if (ClassObjectUsed) return nullptr;
  ClassObjectUsed = true;
  return TLSApp::Create();
}

TLSApp* AppObject() { return appObject; }

int TComServer::ClientReferences() const { return References - (appObject ? 1 : 0); }

void ReleaseAppObject() {
  TLSApp* object = appObject;
  appObject = nullptr;
  if (object) object->Release();
}

TLSApp* TLSApp::Create() { return new TLSApp(); }

TLSApp::TLSApp() {
  ++ComServer().ObjectCount;
  ++ComServer().References;
}

TLSApp::~TLSApp() {
  if (appObject == this) appObject = nullptr;
  TComServer& server = ComServer();
  if (--server.ObjectCount == 0 && server.AutomationMode && server.EndProcess)
    server.EndProcess();
}

ULONG TLSApp::AddRef() {
  ++ComServer().References;
  return ++references_;
}

ULONG TLSApp::Release() {
  --ComServer().References;
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT TLSApp::Start(const Variant& WB) {
  // One extra reference per object, however often it is started.
  if (appObject != this) {
    ReleaseAppObject();
    appObject = this;
    AddRef();
  }
  errorText_.clear();
  try {
    if (!ComServer().PageCapture) throw AutomationError(E_FAIL, "the start window is not there");
    ComServer().PageCapture(WB);
  } catch (const AutomationError& e) {
    errorText_ = e.what();
    return e.Status();
  } catch (const std::exception& e) {
    errorText_ = e.what();
    return E_FAIL;
  } catch (...) {
    errorText_ = "the page could not be read";
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace leafstash
