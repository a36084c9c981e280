// The path-name functions of the file-system object: text only, no disk.
#include "platform/script/file_system.h"

namespace Tavrin::Platform::Script {
namespace {

bool is_separator(wchar_t c) { return c == L'/' || c == L'\\'; }

// `path` without separators at its end (a root stays one separator).
std::wstring trimmed(const std::wstring& path) {
  std::size_t end = path.size();
  while (end > 1 && is_separator(path[end - 1])) --end;
  return path.substr(0, end);
}

std::size_t last_separator(const std::wstring& path) { return path.find_last_of(L"/\\"); }

}  // namespace

std::wstring parent_folder_name(const std::wstring& path) {
  const std::wstring p = trimmed(path);
  const std::size_t cut = last_separator(p);
  if (cut == std::wstring::npos || p.size() == 1) return {};
  if (cut == 0) return p.substr(0, 1);  // "/name": the root
  std::size_t end = cut;
  while (end > 1 && is_separator(p[end - 1])) --end;
  return p.substr(0, end);
}

std::wstring file_name(const std::wstring& path) {
  const std::wstring p = trimmed(path);
  if (p.size() == 1 && is_separator(p[0])) return {};
  const std::size_t cut = last_separator(p);
  return cut == std::wstring::npos ? p : p.substr(cut + 1);
}

std::wstring base_name(const std::wstring& path) {
  const std::wstring name = file_name(path);
  const std::size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring extension_name(const std::wstring& path) {
  const std::wstring name = file_name(path);
  const std::size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
}

std::wstring build_path(const std::wstring& path, const std::wstring& name) {
  if (path.empty()) return name;
  if (name.empty()) return path;
  const bool ends = is_separator(path.back()), starts = is_separator(name.front());
  if (ends && starts) return path + name.substr(1);
  if (ends || starts) return path + name;
  return path + L"/" + name;
}

}  // namespace Tavrin::Platform::Script
