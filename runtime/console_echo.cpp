#include "runtime/console_echo.h"

#include <algorithm>
#include <string_view>

#include "platform/com/error_info.h"
#include "runtime/error_convention.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {
namespace {

using Logger::ConsoleLogger;

// The channel whose kind word is exactly `type` (letter case counts); -1,
// a channel that writes nothing, when there is none.
int channel_of(const std::wstring& type) {
  for (int i = 0; i < ConsoleLogger::kChannelCount; ++i) {
    const std::string_view word = ConsoleLogger::channel_name(i);
    if (std::equal(type.begin(), type.end(), word.begin(), word.end(),
                   [](wchar_t a, char b) { return a == static_cast<wchar_t>(static_cast<unsigned char>(b)); }))
      return i;
  }
  return -1;
}

bool starts_with_doubled_quote(const std::wstring& text) { return text.rfind(L"\"\"", 0) == 0; }
bool ends_with_doubled_quote(const std::wstring& text) {
  return text.size() >= 2 && text.compare(text.size() - 2, 2, L"\"\"") == 0;
}

std::wstring::size_type last_separator(const std::wstring& path) {
  const auto backslash = path.rfind(L'\\');
  const auto slash = path.rfind(L'/');
  if (backslash == std::wstring::npos) return slash;
  if (slash == std::wstring::npos) return backslash;
  return std::max(backslash, slash);
}

// Events of these kinds do not bring the pending page header.
bool is_structure_event(const std::wstring& type) {
  return type == L"suite" || type == L"testfile" || type == L"test";
}

}  // namespace

std::wstring shown_value(const std::wstring& value, int max_length) {
  const auto limit = static_cast<std::wstring::size_type>(std::max(max_length, 0));
  const bool doubled = starts_with_doubled_quote(value) && ends_with_doubled_quote(value);
  if (value.size() <= limit && !doubled) return value;
  std::wstring shown = value;
  if (starts_with_doubled_quote(shown)) shown.erase(0, 1);
  if (ends_with_doubled_quote(shown)) shown.pop_back();
  if (shown.size() > limit) {
    shown.resize(limit);
    shown += L"...";
  }
  return shown;
}

std::wstring script_directory(const std::wstring& full_name) {
  auto cut = full_name.rfind(L'\\');
  if (cut == std::wstring::npos) cut = full_name.rfind(L'/');
  return cut == std::wstring::npos ? full_name : full_name.substr(0, cut);
}

std::wstring script_file_name(const std::wstring& full_name) {
  const auto cut = last_separator(full_name);
  return cut == std::wstring::npos ? full_name : full_name.substr(cut + 1);
}

std::wstring announced_path(const std::wstring& full_name, const std::wstring& file) {
  const bool absolute = !file.empty() && file.front() == L'/';
  const bool no_folder = last_separator(full_name) == std::wstring::npos;
  std::wstring path = absolute || no_folder ? file : script_directory(full_name) + L"/" + file;
  std::replace(path.begin(), path.end(), L'\\', L'/');
  return path;
}

void ConsoleEcho::Node(const std::wstring& uuid, const std::wstring& type, const std::wstring& name,
                       const std::wstring& value) {
  AnnounceTopLevel();
  if (!uuid.empty()) {
    const auto element = state_.element_names.find(uuid);
    if (element != state_.element_names.end()) ShowElement(element->first, element->second);
  } else if (page_.pending && !is_structure_event(type)) {
    PageHeader();
  }
  logger_.channel(channel_of(type)) << type << L": " << name << L"=\"" << shown_value(value, max_console_value_)
                                    << L"\"\n";
}

void ConsoleEcho::Element(const std::wstring& name, const std::wstring& uuid) {
  AnnounceTopLevel();
  if (uuid.empty()) return;
  if (page_.pending) PageHeader();
  const auto element = state_.element_names.emplace(uuid, name).first;
  ShowElement(element->first, element->second);
}

void ConsoleEcho::TestFileHeader(const std::wstring& file) {
  state_.test_file_announced = true;
  logger_.channel(ScriptLogger::kTestfile) << L"testfile: source=\"" << file << L"\"\n";
  const bool page_pending = page_.pending;
  page_.pending = false;
  Node(L"", L"info", L"path", announced_path(script_full_name_, file));
  page_.pending = page_pending;
}

void ConsoleEcho::AnnounceTopLevel() {
  if (state_.test_file_announced) return;
  if (configuration_.Parameter(L"common", L"suite").value != L"0") return;
  TestFileHeader(script_file_name(script_full_name_));
}

void ConsoleEcho::PageHeader() {
  page_.pending = false;
  if (state_.reannounce_pending) {
    state_.reannounce_pending = false;
    TestFileHeader(state_.reannounce_name);
  }
  logger_.channel(ScriptLogger::kPage) << L"page: uuid=\"" << page_.uuid << L"\"\n";
  Node(L"", L"info", L"title", page_.title);
  Node(L"", L"info", L"url", page_.url);
}

void ConsoleEcho::ShowElement(const std::wstring& uuid, const std::wstring& name) {
  if (state_.last_element_shown == uuid) return;
  state_.last_element_shown = uuid;
  logger_.channel(ScriptLogger::kElement) << L"element: name=\"" << name << L"\" uuid=\"" << uuid << L"\"\n";
}

// ---- The two methods of the runtime object ---------------------------------

namespace {

// Called inside a catch block: the logging methods' own failure mapping.
HRESULT log_failure() noexcept {
  try {
    throw;
  } catch (const _com_error& e) {
    set_error_description(e.Description());
    return e.Error();
  } catch (const std::exception&) {
    set_error_description(L"Unable to log message");
    return E_FAIL;
  } catch (...) {
    set_error_description(L"Unknown error");
    return E_UNEXPECTED;
  }
}

}  // namespace

HRESULT CVelmoraScript::LogNode(BSTR uuid, BSTR type, BSTR name, BSTR value) {
  if (!uuid || !type || !name || !value) return E_POINTER;
  try {
    echo().Node(Platform::Com::bstr_text(uuid), Platform::Com::bstr_text(type), Platform::Com::bstr_text(name),
                Platform::Com::bstr_text(value));
    return S_OK;
  } catch (...) {
    return log_failure();
  }
}

HRESULT CVelmoraScript::LogElement(BSTR name, BSTR uuid) {
  if (!name || !uuid) return E_POINTER;
  try {
    echo().Element(Platform::Com::bstr_text(name), Platform::Com::bstr_text(uuid));
    return S_OK;
  } catch (...) {
    return log_failure();
  }
}

ConsoleEcho CVelmoraScript::echo() {
  return ConsoleEcho(*logger_, *configuration_, script_full_name_, page_, echo_state_, max_console_value_);
}

}  // namespace Tavrin::Runtime
