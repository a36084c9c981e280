// The file-system object's methods.
#include "platform/script/file_system.h"

#include <cerrno>
#include <filesystem>
#include <new>

#include "platform/com/com_object.h"
#include "platform/script/automation_error_internal.h"
#include "platform/script/file_system_items_internal.h"
#include "platform/text.h"

namespace Tavrin::Platform::Script {
namespace {

using namespace Com;
namespace fs = std::filesystem;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kOpt = PARAMFLAG_FIN | PARAMFLAG_FOPT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr LONG kTrue = VARIANT_TRUE;

constexpr ParamDescription kPathResult[] = {{L"Path", kIn}, {L"result", kRetval}};
constexpr ParamDescription kBuildPath[] = {{L"Path", kIn}, {L"Name", kIn}, {L"result", kRetval}};
constexpr ParamDescription kDelete[] = {{L"Path", kIn}, {L"Force", kOpt}};
constexpr ParamDescription kCopy[] = {{L"Source", kIn}, {L"Destination", kIn}, {L"OverWriteFiles", kOpt, kTrue}};
constexpr ParamDescription kCreateText[] = {
    {L"FileName", kIn}, {L"Overwrite", kOpt, kTrue}, {L"Unicode", kOpt}, {L"stream", kRetval}};
constexpr ParamDescription kOpenText[] = {
    {L"FileName", kIn}, {L"IOMode", kOpt, 1}, {L"Create", kOpt}, {L"Format", kOpt}, {L"stream", kRetval}};

constexpr MemberDescription kMembers[] = {
    {0x2710, INVOKE_FUNC, L"BuildPath", kBuildPath, false, L"Join a path and a name",
     bind_member<&IFileSystem::BuildPath>()},
    {0x2714, INVOKE_FUNC, L"GetAbsolutePathName", kPathResult, false, L"The full path of a path",
     bind_member<&IFileSystem::GetAbsolutePathName>()},
    {0x2716, INVOKE_FUNC, L"GetParentFolderName", kPathResult, false, L"The path without its last part",
     bind_member<&IFileSystem::GetParentFolderName>()},
    {0x2717, INVOKE_FUNC, L"GetFileName", kPathResult, false, L"The last part of a path",
     bind_member<&IFileSystem::GetFileName>()},
    {0x2718, INVOKE_FUNC, L"GetBaseName", kPathResult, false, L"The last part without its extension",
     bind_member<&IFileSystem::GetBaseName>()},
    {0x2719, INVOKE_FUNC, L"GetExtensionName", kPathResult, false, L"The extension of the last part",
     bind_member<&IFileSystem::GetExtensionName>()},
    {0x271B, INVOKE_FUNC, L"FileExists", kPathResult, false, L"Whether a file exists",
     bind_member<&IFileSystem::FileExists>()},
    {0x271C, INVOKE_FUNC, L"FolderExists", kPathResult, false, L"Whether a folder exists",
     bind_member<&IFileSystem::FolderExists>()},
    {0x271F, INVOKE_FUNC, L"GetFile", kPathResult, false, L"A file object", bind_member<&IFileSystem::GetFile>()},
    {0x2720, INVOKE_FUNC, L"GetFolder", kPathResult, false, L"A folder object",
     bind_member<&IFileSystem::GetFolder>()},
    {0x2724, INVOKE_FUNC, L"DeleteFile", kDelete, false, L"Delete a file", bind_member<&IFileSystem::DeleteFile>()},
    {0x2725, INVOKE_FUNC, L"DeleteFolder", kDelete, false, L"Delete a folder and what it holds",
     bind_member<&IFileSystem::DeleteFolder>()},
    {0x2728, INVOKE_FUNC, L"CopyFile", kCopy, false, L"Copy a file", bind_member<&IFileSystem::CopyFile>()},
    {0x2729, INVOKE_FUNC, L"CreateFolder", kPathResult, false, L"Create a folder",
     bind_member<&IFileSystem::CreateFolder>()},
    {0x44C, INVOKE_FUNC, L"CreateTextFile", kCreateText, false, L"Create a text file for writing",
     bind_member<&IFileSystem::CreateTextFile>()},
    {0x44D, INVOKE_FUNC, L"OpenTextFile", kOpenText, false, L"Open a text file",
     bind_member<&IFileSystem::OpenTextFile>()},
};
constexpr InterfaceDescription kDescription = {L"IFileSystem", IFileSystem::kIid,
                                               TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, kMembers};

fs::path native(BSTR path) { return fs::path(to_utf8(bstr_text(path))); }

class FileSystemObject final : public ComObject<DispatchImpl<IFileSystem>, IFileSystem, IDispatch> {
 public:
  FileSystemObject() : ComObject(kDescription) {}

  HRESULT BuildPath(BSTR path, BSTR name, BSTR* result) override {
    return guard([&] { return give_bstr(build_path(bstr_text(path), bstr_text(name)), result); });
  }
  HRESULT GetAbsolutePathName(BSTR path, BSTR* result) override {
    return guard([&] {
      std::error_code error;
      fs::path full = fs::absolute(native(path), error);
      if (error) return fail_file(error.value(), IFileSystem::kIid, L"GetAbsolutePathName", bstr_text(path));
      std::string text = full.lexically_normal().string();
      while (text.size() > 1 && text.back() == '/') text.pop_back();
      return give_bstr(from_utf8(text), result);
    });
  }
  HRESULT GetParentFolderName(BSTR path, BSTR* result) override {
    return guard([&] { return give_bstr(parent_folder_name(bstr_text(path)), result); });
  }
  HRESULT GetFileName(BSTR path, BSTR* result) override {
    return guard([&] { return give_bstr(file_name(bstr_text(path)), result); });
  }
  HRESULT GetBaseName(BSTR path, BSTR* result) override {
    return guard([&] { return give_bstr(base_name(bstr_text(path)), result); });
  }
  HRESULT GetExtensionName(BSTR path, BSTR* result) override {
    return guard([&] { return give_bstr(extension_name(bstr_text(path)), result); });
  }
  HRESULT FileExists(BSTR path, VARIANT_BOOL* exists) override {
    return guard([&] {
      std::error_code error;
      *exists = fs::is_regular_file(native(path), error) ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    });
  }
  HRESULT FolderExists(BSTR path, VARIANT_BOOL* exists) override {
    return guard([&] {
      std::error_code error;
      *exists = fs::is_directory(native(path), error) ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    });
  }
  HRESULT GetFile(BSTR path, IFileItem** file) override {
    return guard([&] {
      std::error_code error;
      if (!fs::is_regular_file(native(path), error))
        return fail(kFileNotFound, IFileSystem::kIid, L"GetFile: file not found: " + bstr_text(path));
      *file = make_file_item(bstr_text(path));
      return S_OK;
    });
  }
  HRESULT GetFolder(BSTR path, IFolderItem** folder) override {
    return guard([&] {
      std::error_code error;
      if (!fs::is_directory(native(path), error))
        return fail(kPathNotFound, IFileSystem::kIid, L"GetFolder: path not found: " + bstr_text(path));
      *folder = make_folder_item(bstr_text(path));
      return S_OK;
    });
  }
  HRESULT CreateFolder(BSTR path, IFolderItem** folder) override {
    return guard([&] {
      const std::wstring text = bstr_text(path);
      std::error_code error;
      if (fs::exists(native(path), error))
        return fail(kFileExists, IFileSystem::kIid, L"CreateFolder: file already exists: " + text);
      if (!fs::create_directory(native(path), error) || error)
        return fail_file(error ? error.value() : EEXIST, IFileSystem::kIid, L"CreateFolder", text);
      *folder = make_folder_item(text);
      return S_OK;
    });
  }
  HRESULT DeleteFile(BSTR path, VARIANT_BOOL /*force*/) override {
    return guard([&] {
      const std::wstring text = bstr_text(path);
      std::error_code error;
      if (!fs::is_regular_file(fs::symlink_status(native(path), error)) && !fs::is_symlink(native(path), error))
        return fail(kFileNotFound, IFileSystem::kIid, L"DeleteFile: file not found: " + text);
      if (!fs::remove(native(path), error) || error)
        return fail_file(error ? error.value() : ENOENT, IFileSystem::kIid, L"DeleteFile", text);
      return S_OK;
    });
  }
  HRESULT DeleteFolder(BSTR path, VARIANT_BOOL /*force*/) override {
    return guard([&] {
      const std::wstring text = bstr_text(path);
      std::error_code error;
      if (!fs::is_directory(fs::symlink_status(native(path), error)))
        return fail(kPathNotFound, IFileSystem::kIid, L"DeleteFolder: path not found: " + text);
      fs::remove_all(native(path), error);
      if (error) return fail_file(error.value(), IFileSystem::kIid, L"DeleteFolder", text);
      return S_OK;
    });
  }
  HRESULT CopyFile(BSTR source, BSTR destination, VARIANT_BOOL overwrite) override {
    return guard([&] {
      const std::wstring from = bstr_text(source);
      std::wstring to = bstr_text(destination);
      std::error_code error;
      if (!fs::is_regular_file(native(source), error))
        return fail(kFileNotFound, IFileSystem::kIid, L"CopyFile: file not found: " + from);
      if (!to.empty() && (to.back() == L'/' || to.back() == L'\\' || fs::is_directory(native(destination), error)))
        to = build_path(to, file_name(from));
      const fs::path target(to_utf8(to));
      if (!overwrite && fs::exists(target, error))
        return fail(kFileExists, IFileSystem::kIid, L"CopyFile: file already exists: " + to);
      fs::copy_file(native(source), target,
                    overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none, error);
      if (error) return fail_file(error.value(), IFileSystem::kIid, L"CopyFile", to);
      return S_OK;
    });
  }
  HRESULT CreateTextFile(BSTR path, VARIANT_BOOL overwrite, VARIANT_BOOL /*unicode*/, ITextStream** stream) override {
    return guard([&] {
      const std::wstring text = bstr_text(path);
      std::error_code error;
      if (!overwrite && fs::exists(native(path), error))
        return fail(kFileExists, IFileSystem::kIid, L"CreateTextFile: file already exists: " + text);
      return open_text_stream(text, StreamMode::kWrite, stream);
    });
  }
  HRESULT OpenTextFile(BSTR path, LONG mode, VARIANT_BOOL create, LONG /*format*/, ITextStream** stream) override {
    return guard([&] {
      const std::wstring text = bstr_text(path);
      if (mode != 1 && mode != 2 && mode != 8)
        return fail(kInvalidArgument, IFileSystem::kIid,
                    L"OpenTextFile: the mode is 1 (reading), 2 (writing) or 8 (appending), not " +
                        std::to_wstring(mode));
      std::error_code error;
      if (mode != 1 && !create && !fs::exists(native(path), error))
        return fail(kFileNotFound, IFileSystem::kIid, L"Cannot open: file not found: " + text);
      return open_text_stream(text, static_cast<StreamMode>(mode), stream);
    });
  }

 private:
  ~FileSystemObject() override = default;

  template <class Body>
  static HRESULT guard(Body body) {
    return guard_method(IFileSystem::kIid, body, L"File system failure");
  }
};

}  // namespace

HRESULT create_file_system_object(REFIID iid, void** object) {
  return create_object<FileSystemObject>(iid, object);
}

}  // namespace Tavrin::Platform::Script
