// Scripting.FileSystemObject: files, folders and text streams for scripts.
//
// Paths are native; the name functions (GetParentFolderName, GetFileName,
// GetBaseName, GetExtensionName) also cut at backslashes, so that paths
// written the Windows way split the same. BuildPath joins with "/".
// Failures carry JScript's file error numbers and a description naming
// the path (see automation_error.h).
#ifndef QUORVANE_PLATFORM_SCRIPT_FILE_SYSTEM_H_
#define QUORVANE_PLATFORM_SCRIPT_FILE_SYSTEM_H_

#include <string>

#include "platform/com/com.h"
#include "platform/script/collection.h"
#include "platform/script/text_stream.h"

struct IFileItem : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{C7C3F5A4-88A3-11D0-ABCB-00A0C90FFFC0}");
  virtual HRESULT get_Path(BSTR* path) = 0;
  virtual HRESULT get_Name(BSTR* name) = 0;
  // Bytes, as a number.
  virtual HRESULT get_Size(VARIANT* size) = 0;
  virtual HRESULT get_DateLastModified(VARIANT* date) = 0;

 protected:
  ~IFileItem() = default;
};

struct IFolderItem : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{C7C3F5A2-88A3-11D0-ABCB-00A0C90FFFC0}");
  virtual HRESULT get_Path(BSTR* path) = 0;
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_DateLastModified(VARIANT* date) = 0;
  // The files and the folders in it, by name (IFileItem / IFolderItem).
  virtual HRESULT get_Files(IItemCollection** files) = 0;
  virtual HRESULT get_SubFolders(IItemCollection** folders) = 0;

 protected:
  ~IFolderItem() = default;
};

struct IFileSystem : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{2A0B9D10-4B87-11D3-A97A-00104B365C9F}");

  virtual HRESULT BuildPath(BSTR path, BSTR name, BSTR* result) = 0;
  virtual HRESULT GetAbsolutePathName(BSTR path, BSTR* result) = 0;
  virtual HRESULT GetParentFolderName(BSTR path, BSTR* result) = 0;
  virtual HRESULT GetFileName(BSTR path, BSTR* result) = 0;
  virtual HRESULT GetBaseName(BSTR path, BSTR* result) = 0;
  virtual HRESULT GetExtensionName(BSTR path, BSTR* result) = 0;
  virtual HRESULT FileExists(BSTR path, VARIANT_BOOL* exists) = 0;
  virtual HRESULT FolderExists(BSTR path, VARIANT_BOOL* exists) = 0;
  virtual HRESULT GetFile(BSTR path, IFileItem** file) = 0;
  virtual HRESULT GetFolder(BSTR path, IFolderItem** folder) = 0;
  virtual HRESULT CreateFolder(BSTR path, IFolderItem** folder) = 0;
  // `force` (optional) is accepted for compatibility; permissions decide.
  virtual HRESULT DeleteFile(BSTR path, VARIANT_BOOL force) = 0;
  virtual HRESULT DeleteFolder(BSTR path, VARIANT_BOOL force) = 0;
  // Copies a file; `destination` may be a folder (ending with a separator
  // or existing). `overwrite` is optional (true when left out).
  virtual HRESULT CopyFile(BSTR source, BSTR destination, VARIANT_BOOL overwrite) = 0;
  // `overwrite` (optional, true) and `unicode` (optional; text is UTF-8
  // either way).
  virtual HRESULT CreateTextFile(BSTR path, VARIANT_BOOL overwrite, VARIANT_BOOL unicode,
                                 ITextStream** stream) = 0;
  // `mode` (optional): 1 reading (the default), 2 writing, 8 appending;
  // `create` (optional, false): whether a missing file is made for writing
  // or appending; `format` (optional) is ignored: text is UTF-8.
  virtual HRESULT OpenTextFile(BSTR path, LONG mode, VARIANT_BOOL create, LONG format, ITextStream** stream) = 0;

 protected:
  ~IFileSystem() = default;
};

namespace Tavrin::Platform::Script {

constexpr CLSID CLSID_FileSystemObject = Com::make_guid("{0D43FE01-F093-11CF-8940-00A0C9054228}");

HRESULT create_file_system_object(REFIID iid, void** object);

// The name functions, also for tests.
std::wstring parent_folder_name(const std::wstring& path);
std::wstring file_name(const std::wstring& path);
std::wstring base_name(const std::wstring& path);
std::wstring extension_name(const std::wstring& path);
std::wstring build_path(const std::wstring& path, const std::wstring& name);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_FILE_SYSTEM_H_
