// The script control's error object (internal): a snapshot of the last
// script error that the control updates in place, so that a host holding
// it sees each new error.
#ifndef QUORVANE_PLATFORM_SCRIPT_SCRIPT_ERROR_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_SCRIPT_ERROR_INTERNAL_H_

#include "platform/com/com.h"
#include "platform/script/engine_internal.h"
#include "platform/script/script_control.h"

namespace Tavrin::Platform::Script {

class ScriptErrorObject;

// A new error object (no error: Number 0).
Com::ComPtr<ScriptErrorObject> create_script_error();

class ScriptErrorObject : public Com::DispatchImpl<IScriptError> {
 public:
  void set(const ScriptFailure& failure) { failure_ = failure; }
  const ScriptFailure& failure() const { return failure_; }

  HRESULT get_Number(LONG* number) override;
  HRESULT get_Source(BSTR* source) override;
  HRESULT get_Description(BSTR* description) override;
  HRESULT get_HelpFile(BSTR* help_file) override;
  HRESULT get_HelpContext(LONG* help_context) override;
  HRESULT get_Text(BSTR* text) override;
  HRESULT get_Line(LONG* line) override;
  HRESULT get_Column(LONG* column) override;
  HRESULT Clear() override;

 protected:
  ScriptErrorObject();
  ~ScriptErrorObject() = default;

 private:
  ScriptFailure failure_;
};

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_SCRIPT_ERROR_INTERNAL_H_
