// The script resource package in memory. The runner asks it for its support
// scripts ("api.js", "host.js") by name; the local proxy server loads the
// same package, serves its files under "/quorvane/special/file/" and lets it
// put one script element per injected file into every HTML page it passes
// on. The packaging program builds it with AddFile and Serialize.
//
// Threads: loading (the path constructor and Load) and AddFile hold the
// package's reader/writer lock exclusively; GetFile and InjectToStreamANSI
// hold it shared, so many pages can be injected at once. Copy construction
// reads the source under its shared lock. Serialize, assignment and Swap
// take no lock of this object: REQUIRES that no other thread changes it
// meanwhile. The lock is not recursive.
#ifndef QUORVANE_COMMON_SCRIPT_INJECTOR_H_
#define QUORVANE_COMMON_SCRIPT_INJECTOR_H_

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/export.h"
#include "common/resource_file.h"

namespace Tavrin {

class QUORVANE_COMMON_EXPORT ScriptInjector {
 public:
  // A package that cannot be written, or one whose contents exceed the
  // size a package may have.
  class QUORVANE_COMMON_EXPORT PackageError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // An empty package.
  ScriptInjector();
  // The package stored at path. A file that does not exist or cannot be
  // opened gives an empty package without an error. A damaged one throws
  // boost::iostreams::gzip_error or zlib_error (damaged compression, or a
  // file written with another key), boost::archive::archive_exception
  // (damaged archive, a class version above 0, a count or length beyond the
  // end of the data), or PackageError (contents too large).
  explicit ScriptInjector(const std::wstring& path);
  ScriptInjector(const ScriptInjector& other);
  // Builds the copy first; a throwing copy leaves this object unchanged.
  ScriptInjector& operator=(const ScriptInjector& other);
  ~ScriptInjector();

  void Swap(ScriptInjector& other) noexcept;

  // Replaces the files with those of the package at path, read as the path
  // constructor reads it (a missing file gives no files). The file is read
  // and decoded before the exclusive lock is taken; on an exception the
  // package is unchanged. Lets a server reload while it serves pages.
  void Load(const std::wstring& path);

  // Appends a file named file.first with the contents of the file at the
  // narrow path file.second (empty contents when it cannot be read). A file
  // of the same name already present stays, before the new one.
  void AddFile(const std::pair<std::string, std::string>& file, bool inject, File::MIMEType type);

  // A copy of the first file, in package order, whose name occurs anywhere
  // in request (case-sensitive); so a URL path that ends in the name finds
  // it, and a file with an empty name matches every request. A default File
  // (empty name) when none matches.
  const File GetFile(const std::string& request) const;

  // Writes the package to "Resource.dat" in the current directory.
  // Throws PackageError when the file cannot be created or written.
  void Serialize() const;
  // Writes the package to path, replacing any file there. Throws
  // PackageError when the file cannot be created or written; a partly
  // written file is removed.
  void Serialize(const std::wstring& path) const;

  // Inserts into page, treated as bytes, one element
  // <script src="/quorvane/special/file/NAME" type="text/javascript"></script>
  // per injected file, in package order and without separators: before the
  // last "</head>", else after the last "<head>", "<html>" or "<body>",
  // else before the last "</body>" or "</html>", else after the last
  // "</script>" (tags found without regard to ASCII case). A page with none
  // of these, or a package without injected files, leaves page unchanged.
  void InjectToStreamANSI(std::string& page) const;

 private:
  struct Imp;
  std::unique_ptr<Imp> imp_;
};

// Calls a.Swap(b).
QUORVANE_COMMON_EXPORT void swap(ScriptInjector& a, ScriptInjector& b) noexcept;

}  // namespace Tavrin

namespace std {
template <>
inline void swap<Tavrin::ScriptInjector>(Tavrin::ScriptInjector& a, Tavrin::ScriptInjector& b) {
  a.Swap(b);
}
}  // namespace std

#endif  // QUORVANE_COMMON_SCRIPT_INJECTOR_H_
