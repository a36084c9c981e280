// The class factory of CVelmoraScript, the module's one creatable class. It
// creates an object, runs its initialisation and hands out the asked
// interface; a failed initialisation destroys the object and fails the
// creation with the initialisation's HRESULT. Each factory and each
// LockServer(TRUE) holds a module lock.
#ifndef QUORVANE_RUNTIME_CLASS_FACTORY_H_
#define QUORVANE_RUNTIME_CLASS_FACTORY_H_

#include "platform/com/unknown.h"

namespace Tavrin::Runtime {

class VelmoraScriptFactory final : public IClassFactory {
 public:
  // A new factory holding one reference.
  VelmoraScriptFactory();

  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT LockServer(BOOL lock) override;

 private:
  ~VelmoraScriptFactory();

  ULONG references_ = 1;
};

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_CLASS_FACTORY_H_
