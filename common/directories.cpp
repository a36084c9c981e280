#include "common/directories.h"

#include <vector>

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/system/system_error.hpp>

#include "platform/module_path.h"
#include "platform/shell_folders.h"
#include "platform/text.h"

namespace Tavrin {
namespace {

// Runs a directory query of the system; its failure leaves as the bare
// error code.
template <typename Query>
std::wstring query_directory(Query query) {
  try {
    return query();
  } catch (const boost::system::system_error& e) {
    throw static_cast<unsigned long>(e.code().value());
  }
}

// Splits `text` at backslashes and slashes, dropping empty pieces.
void append_elements(const std::wstring& text, std::vector<std::wstring>& elements) {
  std::wstring piece;
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'/') {
      if (!piece.empty()) elements.push_back(std::move(piece));
      piece.clear();
    } else {
      piece += c;
    }
  }
  if (!piece.empty()) elements.push_back(std::move(piece));
}

}  // namespace

namespace Windows::Filesystem {

std::wstring get_current_dir_w() { return query_directory(&Platform::current_directory); }

std::string get_current_dir_a() { return Platform::to_utf8(get_current_dir_w()); }

std::wstring starting_dir_of(const std::wstring& module_path) {
  std::wstring::size_type cut = module_path.rfind(L'\\');
  if (cut == std::wstring::npos) cut = module_path.rfind(L'/');
  if (cut == std::wstring::npos) return module_path;
  return module_path.substr(0, cut);
}

std::wstring get_starting_dir_w() { return starting_dir_of(query_directory(&Platform::executable_path)); }

std::string get_starting_dir_a() { return Platform::to_utf8(get_starting_dir_w()); }

}  // namespace Windows::Filesystem

namespace Filesystem {

std::wstring get_current_directory() { return Windows::Filesystem::get_current_dir_w(); }

std::wstring get_product_home_directory(const std::wstring& company, const std::wstring& product,
                                        const std::wstring& folder) {
  namespace fs = boost::filesystem;
  const std::wstring base = query_directory(&Platform::application_data_folder);
  std::vector<std::wstring> elements;
  for (const std::wstring* part : {&base, &company, &product, &folder}) append_elements(*part, elements);

  // Walk down from the root, creating what is missing; a directory that
  // appears meanwhile (another process) is accepted by create_directory.
  std::string path;
  for (const std::wstring& element : elements) {
    path += '/';
    path += Platform::to_utf8(element);
    if (!fs::is_directory(path)) fs::create_directory(path);
  }
  return Platform::from_utf8(path.empty() ? std::string("/") : path);
}

}  // namespace Filesystem
}  // namespace Tavrin
