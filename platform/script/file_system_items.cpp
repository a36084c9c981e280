// File and Folder objects of the file-system object.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "platform/com/com_object.h"
#include "platform/script/automation_error_internal.h"
#include "platform/script/file_system.h"
#include "platform/script/file_system_items_internal.h"
#include "platform/text.h"

namespace Tavrin::Platform::Script {
namespace {

using namespace Com;
namespace fs = std::filesystem;

constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr ParamDescription kGet[] = {{L"value", kRetval}};

constexpr MemberDescription kFileMembers[] = {
    {DISPID_VALUE, INVOKE_PROPERTYGET, L"Path", kGet, false, L"Path of the file", bind_member<&IFileItem::get_Path>()},
    {1000, INVOKE_PROPERTYGET, L"Name", kGet, false, L"Name of the file", bind_member<&IFileItem::get_Name>()},
    {1001, INVOKE_PROPERTYGET, L"Size", kGet, false, L"Size in bytes", bind_member<&IFileItem::get_Size>()},
    {1002, INVOKE_PROPERTYGET, L"DateLastModified", kGet, false, L"When the file was last written",
     bind_member<&IFileItem::get_DateLastModified>()},
};
constexpr InterfaceDescription kFileDescription = {L"IFile", IFileItem::kIid, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
                                                   kFileMembers};

constexpr MemberDescription kFolderMembers[] = {
    {DISPID_VALUE, INVOKE_PROPERTYGET, L"Path", kGet, false, L"Path of the folder",
     bind_member<&IFolderItem::get_Path>()},
    {1000, INVOKE_PROPERTYGET, L"Name", kGet, false, L"Name of the folder", bind_member<&IFolderItem::get_Name>()},
    {1002, INVOKE_PROPERTYGET, L"DateLastModified", kGet, false, L"When the folder last changed",
     bind_member<&IFolderItem::get_DateLastModified>()},
    {1003, INVOKE_PROPERTYGET, L"Files", kGet, false, L"The files in the folder",
     bind_member<&IFolderItem::get_Files>()},
    {1004, INVOKE_PROPERTYGET, L"SubFolders", kGet, false, L"The folders in the folder",
     bind_member<&IFolderItem::get_SubFolders>()},
};
constexpr InterfaceDescription kFolderDescription = {L"IFolder", IFolderItem::kIid,
                                                     TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, kFolderMembers};

// The automation date (local time) of a file time.
HRESULT give_date(const std::wstring& path, REFIID iid, VARIANT* out) {
  std::error_code error;
  const auto written = fs::last_write_time(fs::path(to_utf8(path)), error);
  if (error) return fail_file(error.value(), iid, L"DateLastModified", path);
  const auto since_epoch = std::chrono::file_clock::to_sys(written).time_since_epoch();
  const double seconds = std::chrono::duration<double>(since_epoch).count();
  const std::time_t whole = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&whole, &local);
  out->vt = VT_DATE;
  out->date = (seconds + static_cast<double>(local.tm_gmtoff)) / 86400.0 + 25569.0;
  return S_OK;
}

class FileItem final : public ComObject<DispatchImpl<IFileItem>, IFileItem, IDispatch> {
 public:
  explicit FileItem(std::wstring path) : ComObject(kFileDescription), path_(std::move(path)) {}

  HRESULT get_Path(BSTR* path) override { return give_bstr(path_, path); }
  HRESULT get_Name(BSTR* name) override {
    return guard_method(IFileItem::kIid, [&] { return give_bstr(file_name(path_), name); });
  }
  HRESULT get_Size(VARIANT* size) override {
    return guard_method(IFileItem::kIid, [&]() -> HRESULT {
      std::error_code error;
      const auto bytes = fs::file_size(fs::path(to_utf8(path_)), error);
      if (error) return fail_file(error.value(), IFileItem::kIid, L"Size", path_);
      size->vt = VT_R8;
      size->dblVal = static_cast<double>(bytes);
      return S_OK;
    });
  }
  HRESULT get_DateLastModified(VARIANT* date) override {
    return guard_method(IFileItem::kIid, [&] { return give_date(path_, IFileItem::kIid, date); });
  }

 private:
  ~FileItem() override = default;
  std::wstring path_;
};

class FolderItem final : public ComObject<DispatchImpl<IFolderItem>, IFolderItem, IDispatch> {
 public:
  explicit FolderItem(std::wstring path) : ComObject(kFolderDescription), path_(std::move(path)) {}

  HRESULT get_Path(BSTR* path) override { return give_bstr(path_, path); }
  HRESULT get_Name(BSTR* name) override {
    return guard_method(IFolderItem::kIid, [&] { return give_bstr(file_name(path_), name); });
  }
  HRESULT get_DateLastModified(VARIANT* date) override {
    return guard_method(IFolderItem::kIid, [&] { return give_date(path_, IFolderItem::kIid, date); });
  }
  HRESULT get_Files(IItemCollection** files) override { return list(false, files); }
  HRESULT get_SubFolders(IItemCollection** folders) override { return list(true, folders); }

 private:
  ~FolderItem() override = default;

  HRESULT list(bool folders, IItemCollection** out) {
    try {
      std::error_code error;
      std::vector<NamedItem> items;
      fs::directory_iterator it(fs::path(to_utf8(path_)), error), end;
      if (error) return fail_file(error.value(), IFolderItem::kIid, folders ? L"SubFolders" : L"Files", path_);
      for (; it != end; it.increment(error)) {
        if (error) return fail_file(error.value(), IFolderItem::kIid, folders ? L"SubFolders" : L"Files", path_);
        std::error_code kind_error;
        if (it->is_directory(kind_error) != folders) continue;
        const std::wstring name = from_utf8(it->path().filename().string());
        const std::wstring path = build_path(path_, name);
        ComPtr<IDispatch> item = folders ? ComPtr<IDispatch>::attach(make_folder_item(path))
                                         : ComPtr<IDispatch>::attach(make_file_item(path));
        items.push_back({name, Variant(item.get())});
      }
      std::sort(items.begin(), items.end(), [](const NamedItem& a, const NamedItem& b) { return a.name < b.name; });
      *out = make_collection(std::move(items), {folders ? L"No such folder: " : L"No such file: ", {}}).detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  std::wstring path_;
};

}  // namespace

IFileItem* make_file_item(const std::wstring& path) { return new FileItem(path); }
IFolderItem* make_folder_item(const std::wstring& path) { return new FolderItem(path); }

}  // namespace Tavrin::Platform::Script
