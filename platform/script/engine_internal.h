// One JScript engine: a Duktape heap with the bridge to automation objects
// installed, code blocks added to it, and the timeout that ends a call
// running too long. Internal to the script control.
//
// Every call that runs code (add_code, evaluate, call) catches the script's
// error and reports it as a ScriptFailure; C++ failures of the engine
// itself (memory) are thrown.
#ifndef QUORVANE_PLATFORM_SCRIPT_ENGINE_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_ENGINE_INTERNAL_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/com.h"

struct duk_hthread;
using duk_context = duk_hthread;

namespace Tavrin::Platform::Script {

// A script error as the script control's error object tells it.
struct ScriptFailure {
  HRESULT number = S_OK;
  std::wstring source;
  std::wstring description;
  std::wstring text;  // the source line, for compilation errors
  LONG line = 0;      // 1-based within the code block; 0 when unknown
  LONG column = 0;    // 0-based
};

// JScript's error numbers for errors of its own kinds.
constexpr HRESULT kScriptSyntaxError = hresult_of(0x800A03EA);      // "Syntax error"
constexpr HRESULT kScriptUndefinedError = hresult_of(0x800A1391);   // "'x' is undefined"
constexpr HRESULT kScriptObjectExpected = hresult_of(0x800A138F);   // "Object expected"
constexpr HRESULT kScriptRangeError = hresult_of(0x800A01C2);       // "Out of range"
constexpr HRESULT kScriptUncaughtError = hresult_of(0x800A139E);    // "Exception thrown and not caught"
constexpr HRESULT kScriptTimeoutError = hresult_of(0x800A01B8);     // the call ran past its timeout

// Whether an engine still exists, for automation objects that hold script
// values and may outlive it.
struct EngineLink {
  class Engine* engine = nullptr;
};

class Engine {
 public:
  // Throws std::bad_alloc when the heap cannot be made.
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  duk_context* context() const { return context_; }
  const std::shared_ptr<EngineLink>& link() const { return link_; }

  // Milliseconds a call from outside may run; a negative value: no limit.
  void set_timeout(LONG milliseconds) { timeout_ms_ = milliseconds; }

  // Makes `object` a global named `name`; with `add_members`, also each of
  // its members (methods as global functions, properties as global
  // accessors). Throws _com_error.
  void add_object(const std::wstring& name, IDispatch* object, bool add_members);

  // Compiles and runs `code` as a global program; block numbers count from 1.
  bool add_code(const std::wstring& code, ScriptFailure* failure);
  // The value of `expression` in *result.
  bool evaluate(const std::wstring& expression, Com::Variant* result, ScriptFailure* failure);
  // Calls the global function `name`.
  bool call(const std::wstring& name, const std::vector<Com::Variant>& args, Com::Variant* result,
            ScriptFailure* failure);

  // Keeps the value at `index` alive for an automation object (in the
  // stash) and returns its key; release_value lets it go.
  unsigned hold_value(int index);
  void release_value(unsigned key);
  // Pushes a held value.
  void push_held_value(unsigned key);

  // The script error of the error value at `index`.
  ScriptFailure describe_error(int index);

  // The engine's timeout hook: true once the running call is past its end.
  bool past_deadline();

  // The Engine of a context.
  static Engine* of(duk_context* context);

 private:
  class Entry;
  bool run_protected(int (*body)(duk_context*, void*), void* data, ScriptFailure* failure);

  duk_context* context_ = nullptr;
  std::shared_ptr<EngineLink> link_;
  LONG timeout_ms_ = 10000;
  int depth_ = 0;  // calls from outside running now
  bool timed_out_ = false;
  std::chrono::steady_clock::time_point deadline_{};
  bool has_deadline_ = false;
  std::vector<std::wstring> blocks_;  // code of each block, for Text
  unsigned next_value_key_ = 1;
};

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_ENGINE_INTERNAL_H_
