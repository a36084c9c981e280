#include "platform/script/engine_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <new>
#include <string_view>

#include <duktape.h>

#include "platform/script/bridge_internal.h"
#include "platform/script/bridge_keys_internal.h"

// The engine's timeout hook (see duk_config.h as the build generates it):
// `udata` is the Engine that owns the heap.
extern "C" int quorvane_duk_exec_timeout_check(void* udata) {
  auto* engine = static_cast<Tavrin::Platform::Script::Engine*>(udata);
  return engine && engine->past_deadline() ? 1 : 0;
}

namespace Tavrin::Platform::Script {
namespace {

void fatal(void* /*udata*/, const char* message) {
  std::fprintf(stderr, "Script engine failure: %s\n", message ? message : "");
  std::abort();
}

std::wstring property_text(duk_context* ctx, int index, const char* name) {
  duk_get_prop_string(ctx, index, name);
  std::wstring text = duk_is_undefined(ctx, -1) ? std::wstring() : get_text(ctx, -1);
  duk_pop(ctx);
  return text;
}

// Line `line` (1-based) of `code`.
std::wstring line_of(const std::wstring& code, LONG line) {
  std::size_t start = 0;
  for (LONG l = 1; l < line; ++l) {
    start = code.find(L'\n', start);
    if (start == std::wstring::npos) return {};
    ++start;
  }
  std::size_t end = code.find(L'\n', start);
  if (end == std::wstring::npos) end = code.size();
  if (end > start && code[end - 1] == L'\r') --end;
  return code.substr(start, end - start);
}

// The first name quoted in `message` ("identifier 'foo' undefined").
std::wstring quoted_name(const std::wstring& message) {
  const std::size_t open = message.find(L'\'');
  if (open == std::wstring::npos) return {};
  const std::size_t close = message.find(L'\'', open + 1);
  if (close == std::wstring::npos) return {};
  return message.substr(open + 1, close - open - 1);
}

// Removes the engine's " (line N)" suffix of a compilation message.
std::wstring without_line_suffix(const std::wstring& message) {
  const std::size_t at = message.rfind(L" (line ");
  return at == std::wstring::npos ? message : message.substr(0, at);
}

// The column (0-based) of the place an error names in its source line: the
// identifier it quotes, else the line's first non-blank character.
LONG column_in(const std::wstring& line, const std::wstring& name) {
  if (!name.empty()) {
    const std::size_t at = line.find(name);
    if (at != std::wstring::npos) return static_cast<LONG>(at);
  }
  const std::size_t first = line.find_first_not_of(L" \t");
  return first == std::wstring::npos ? 0 : static_cast<LONG>(first);
}

// Block names are "block N"; 0 for any other file name.
std::size_t block_number(const std::wstring& file) {
  constexpr std::wstring_view kPrefix = L"block ";
  if (file.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  return static_cast<std::size_t>(std::wcstoul(file.c_str() + kPrefix.size(), nullptr, 10));
}

std::string block_name(std::size_t number) { return "block " + std::to_string(number); }

}  // namespace

// Counts the calls from outside that are running, and sets the deadline
// when the outermost begins.
class Engine::Entry {
 public:
  explicit Entry(Engine& engine) : engine_(engine) {
    if (engine_.depth_++ == 0) {
      engine_.timed_out_ = false;
      engine_.has_deadline_ = engine_.timeout_ms_ >= 0;
      if (engine_.has_deadline_)
        engine_.deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(engine_.timeout_ms_);
    }
  }
  ~Entry() {
    if (--engine_.depth_ == 0) engine_.has_deadline_ = false;
  }
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;

 private:
  Engine& engine_;
};

Engine::Engine() : link_(std::make_shared<EngineLink>()) {
  context_ = duk_create_heap(nullptr, nullptr, nullptr, this, fatal);
  if (!context_) throw std::bad_alloc();
  link_->engine = this;
  duk_push_global_stash(context_);
  duk_push_pointer(context_, this);
  duk_put_prop_string(context_, -2, QUORVANE_STASH_ENGINE);
  duk_push_bare_object(context_);
  duk_put_prop_string(context_, -2, QUORVANE_STASH_VALUES);
  duk_pop(context_);
  install_bridge(context_);
}

Engine::~Engine() {
  // Automation objects that still hold script values see the engine gone;
  // the heap's finalizers release what scripts held.
  link_->engine = nullptr;
  duk_destroy_heap(context_);
}

Engine* Engine::of(duk_context* context) {
  duk_push_global_stash(context);
  duk_get_prop_string(context, -1, QUORVANE_STASH_ENGINE);
  auto* engine = static_cast<Engine*>(duk_get_pointer(context, -1));
  duk_pop_2(context);
  return engine;
}

bool Engine::past_deadline() {
  if (timed_out_) return true;  // stays past until the outermost call returns
  if (!has_deadline_ || std::chrono::steady_clock::now() < deadline_) return false;
  timed_out_ = true;
  return true;
}

unsigned Engine::hold_value(int index) {
  index = duk_normalize_index(context_, index);
  const unsigned key = next_value_key_++;
  duk_push_global_stash(context_);
  duk_get_prop_string(context_, -1, QUORVANE_STASH_VALUES);
  duk_dup(context_, index);
  duk_put_prop_index(context_, -2, key);
  duk_pop_2(context_);
  return key;
}

void Engine::release_value(unsigned key) {
  duk_push_global_stash(context_);
  duk_get_prop_string(context_, -1, QUORVANE_STASH_VALUES);
  duk_del_prop_index(context_, -1, key);
  duk_pop_2(context_);
}

void Engine::push_held_value(unsigned key) {
  duk_push_global_stash(context_);
  duk_get_prop_string(context_, -1, QUORVANE_STASH_VALUES);
  duk_get_prop_index(context_, -1, key);
  duk_remove(context_, -2);
  duk_remove(context_, -2);
}

void Engine::add_object(const std::wstring& name, IDispatch* object, bool add_members) {
  if (!object) _com_issue_error(E_INVALIDARG);
  const std::string key = to_engine_text(name);
  push_dispatch(context_, object);
  duk_put_global_lstring(context_, key.data(), key.size());
  if (!add_members) return;
  Com::ComPtr<ITypeInfo> info;
  UINT count = 0;
  if (FAILED(object->GetTypeInfoCount(&count)) || count == 0 ||
      FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || !info)
    return;  // nothing to tell the members by
  TYPEATTR* attr = nullptr;
  Com::check(info->GetTypeAttr(&attr));
  const WORD functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  // Each member becomes a global accessor that reads the member from the
  // object, so methods and properties behave as they do through it.
  static constexpr const char* kGetter =
      "(function (holder, name) { return function () { return holder[name]; }; })";
  static constexpr const char* kSetter =
      "(function (holder, name) { return function (v) { holder[name] = v; }; })";
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
    const MEMBERID id = desc->memid;
    info->ReleaseFuncDesc(desc);
    Com::Bstr member;
    if (FAILED(info->GetDocumentation(id, member.put(), nullptr, nullptr, nullptr))) continue;
    const std::string member_key = to_engine_text(member.str());
    duk_push_global_object(context_);
    duk_push_lstring(context_, member_key.data(), member_key.size());
    duk_eval_string(context_, kGetter);
    duk_get_global_lstring(context_, key.data(), key.size());
    duk_push_lstring(context_, member_key.data(), member_key.size());
    duk_call(context_, 2);
    duk_eval_string(context_, kSetter);
    duk_get_global_lstring(context_, key.data(), key.size());
    duk_push_lstring(context_, member_key.data(), member_key.size());
    duk_call(context_, 2);
    duk_def_prop(context_, -4, DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_HAVE_SETTER | DUK_DEFPROP_SET_CONFIGURABLE);
    duk_pop(context_);
  }
}

bool Engine::run_protected(int (*body)(duk_context*, void*), void* data, ScriptFailure* failure) {
  Entry entry(*this);
  const int top = duk_get_top(context_);
  const duk_int_t rc = duk_safe_call(context_, body, data, 0, 1);
  bool ok = rc == DUK_EXEC_SUCCESS;
  if (!ok && failure) *failure = describe_error(-1);
  duk_set_top(context_, top);
  return ok;
}

namespace {

struct CodeCall {
  const std::string* code;
  const std::string* file;
  duk_uint_t flags;
  Com::Variant* result;
};

int compile_and_run(duk_context* ctx, void* data) {
  auto* call = static_cast<CodeCall*>(data);
  duk_push_lstring(ctx, call->code->data(), call->code->size());
  duk_push_lstring(ctx, call->file->data(), call->file->size());
  duk_compile(ctx, call->flags);
  duk_call(ctx, 0);
  if (call->result) *call->result = to_variant(ctx, -1);
  return 1;
}

struct FunctionCall {
  const std::string* name;
  const std::vector<Com::Variant>* args;
  Com::Variant* result;
};

int call_global(duk_context* ctx, void* data) {
  auto* call = static_cast<FunctionCall*>(data);
  if (!duk_get_global_lstring(ctx, call->name->data(), call->name->size()) || !duk_is_callable(ctx, -1)) {
    const std::wstring name = from_engine_text(*call->name);
    raise_error(ctx, DISP_E_UNKNOWNNAME, L"Unknown name: the script has no function '" + name + L"'");
  }
  for (const Com::Variant& arg : *call->args) push_variant(ctx, arg);
  duk_call(ctx, static_cast<duk_idx_t>(call->args->size()));
  if (call->result) *call->result = to_variant(ctx, -1);
  return 1;
}

}  // namespace

bool Engine::add_code(const std::wstring& code, ScriptFailure* failure) {
  blocks_.push_back(code);
  const std::string bytes = to_engine_text(code), file = block_name(blocks_.size());
  CodeCall call{&bytes, &file, 0, nullptr};
  return run_protected(guarded_body<compile_and_run>, &call, failure);
}

bool Engine::evaluate(const std::wstring& expression, Com::Variant* result, ScriptFailure* failure) {
  blocks_.push_back(expression);
  const std::string bytes = to_engine_text(expression), file = block_name(blocks_.size());
  CodeCall call{&bytes, &file, DUK_COMPILE_EVAL, result};
  return run_protected(guarded_body<compile_and_run>, &call, failure);
}

bool Engine::call(const std::wstring& name, const std::vector<Com::Variant>& args, Com::Variant* result,
                  ScriptFailure* failure) {
  const std::string key = to_engine_text(name);
  FunctionCall call{&key, &args, result};
  return run_protected(guarded_body<call_global>, &call, failure);
}

ScriptFailure Engine::describe_error(int index) {
  index = duk_normalize_index(context_, index);
  ScriptFailure failure;
  if (timed_out_) {
    failure.number = kScriptTimeoutError;
    failure.source = L"ScriptControl";
    failure.description = L"The script ran longer than its timeout of " + std::to_wstring(timeout_ms_) +
                          L" milliseconds and was stopped";
    return failure;
  }
  if (!duk_is_object(context_, index) || !duk_is_error(context_, index)) {
    // `throw value` with a value that is no Error object.
    failure.number = kScriptUncaughtError;
    failure.source = L"JScript runtime error";
    if (duk_is_object(context_, index)) {
      duk_get_prop_string(context_, index, "number");
      if (duk_is_number(context_, -1)) failure.number = static_cast<HRESULT>(duk_get_int(context_, -1));
      duk_pop(context_);
      failure.description = property_text(context_, index, "description");
      if (failure.description.empty()) failure.description = property_text(context_, index, "message");
    }
    if (failure.description.empty()) failure.description = L"Exception thrown and not caught: " + get_text(context_, index);
    return failure;
  }
  const std::wstring name = property_text(context_, index, "name");
  const std::wstring message = property_text(context_, index, "message");
  const bool syntax = name == L"SyntaxError";
  duk_get_prop_string(context_, index, "number");
  const bool has_number = duk_is_number(context_, -1);
  if (has_number) failure.number = static_cast<HRESULT>(static_cast<std::int64_t>(duk_get_number(context_, -1)));
  duk_pop(context_);
  failure.description = property_text(context_, index, "description");
  if (failure.description.empty()) failure.description = syntax ? without_line_suffix(message) : message;
  std::wstring blamed;  // the name the message is about, if any
  if (!has_number) {
    if (syntax) {
      failure.number = kScriptSyntaxError;
    } else if (name == L"ReferenceError") {
      failure.number = kScriptUndefinedError;
      blamed = quoted_name(message);
      if (!blamed.empty() && message.find(L"identifier") == 0) failure.description = L"'" + blamed + L"' is undefined";
    } else if (name == L"TypeError") {
      failure.number = kScriptObjectExpected;
    } else if (name == L"RangeError") {
      failure.number = kScriptRangeError;
    } else {
      failure.number = kScriptUncaughtError;
    }
  }
  failure.source = syntax ? L"JScript compilation error" : L"JScript runtime error";
  duk_get_prop_string(context_, index, "lineNumber");
  if (duk_is_number(context_, -1)) failure.line = static_cast<LONG>(duk_get_int(context_, -1));
  duk_pop(context_);
  const std::size_t block = block_number(property_text(context_, index, "fileName"));
  const std::wstring line = block > 0 && block <= blocks_.size() && failure.line > 0
                                ? line_of(blocks_[block - 1], failure.line)
                                : std::wstring();
  if (syntax) failure.text = line;
  if (blamed.empty()) blamed = quoted_name(message);
  failure.column = column_in(line, blamed);
  return failure;
}

}  // namespace Tavrin::Platform::Script
