// The class factory of CVelmoraScript, the module's one creatable class. It
// creates an object, runs its initialisation and hands out the asked
// interface; a failed initialisation destroys the object and fails the
// creation with the initialisation's HRESULT. Each factory and each
// LockServer(TRUE) holds a module lock.
#ifndef QUORVANE_RUNTIME_CLASS_FACTORY_H_
#define QUORVANE_RUNTIME_CLASS_FACTORY_H_

#include "platform/com/com_object.h"

namespace Tavrin::Runtime {

class VelmoraScriptFactory final : public Platform::Com::ComObject<IClassFactory, IClassFactory> {
 public:
  // A new factory holding one reference.
  VelmoraScriptFactory();

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT LockServer(BOOL lock) override;

 private:
  ~VelmoraScriptFactory();

};

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_CLASS_FACTORY_H_
