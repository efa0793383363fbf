#include "com/class_factory.h"

#include <new>

#include "com/apartment_module.h"
#include "com/com_output_driver.h"
#include "com/server_module.h"

namespace artnet {

OutputDriverFactory& OutputDriverFactory::Instance() {
  static OutputDriverFactory factory;
  return factory;
}

HRESULT OutputDriverFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  try {
    win32::ComPtr<ComOutputDriver> driver;
    std::shared_ptr<server::ApartmentModule> module = server::ApartmentModule::OfThisThread();
    ModuleState& state = *module->State();
    driver = new ComOutputDriver(state, std::move(module));  // ComPtr adds its first reference
    return driver->QueryInterface(riid, object);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT OutputDriverFactory::LockServer(BOOL lock) {
  server::Lock(lock != FALSE);
  return S_OK;
}

}  // namespace artnet
