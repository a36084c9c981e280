// Scripting.FileSystemObject and TextStream as scripts use them, in a
// private temporary folder.
#include "platform/script/file_system.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/script/testing/script_fixture.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Platform::Script {
namespace {

class FileSystemTest : public Testing::ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    add_code(L"var fso = new ActiveXObject('Scripting.FileSystemObject'); var dir = '" + from_utf8(dir_.path()) +
             L"';");
  }
  std::string read(const std::string& name) {
    std::ifstream in(dir_.file(name), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }
  quorvane_test::TempDir dir_;
};

// Non-ASCII text (an emoji too) written, read back, and UTF-8 on disk.
TEST_F(FileSystemTest, WriteThenReadBackUtf8) {
  add_code(L"var f = fso.CreateTextFile(fso.BuildPath(dir, 't.txt'));"
           L"f.WriteLine('gr\\u00FC\\u00DFe \\uD83D\\uDE00'); f.Write('a'); f.WriteBlankLines(2); f.Write('end');"
           L"f.Close();");
  EXPECT_EQ(read("t.txt"), "gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80\na\n\nend");
  add_code(L"var r = fso.OpenTextFile(dir + '/t.txt'); var first = r.ReadLine(); var line = r.Line;"
           L"var rest = r.ReadAll(); var done = r.AtEndOfStream; r.Close();");
  EXPECT_EQ(eval_text(L"first === 'gr\\u00FC\\u00DFe \\uD83D\\uDE00'"), L"-1");
  EXPECT_EQ(eval(L"line").lVal, 2);
  EXPECT_EQ(eval_text(L"rest"), L"a\n\nend");
  EXPECT_EQ(eval_text(L"done"), L"-1");
}

// Appending keeps what is there; writing replaces it; create makes it.
TEST_F(FileSystemTest, AppendWriteAndCreate) {
  add_code(L"var p = dir + '/log.txt';"
           L"var a = fso.OpenTextFile(p, 8, true); a.WriteLine('one'); a.Close();"
           L"a = fso.OpenTextFile(p, 8); a.WriteLine('two'); a.Close();");
  EXPECT_EQ(read("log.txt"), "one\ntwo\n");
  add_code(L"var w = fso.OpenTextFile(p, 2); w.Write('new'); w.Close();");
  EXPECT_EQ(read("log.txt"), "new");
  // Reading a file written on Windows drops the carriage returns.
  std::ofstream(dir_.file("crlf.txt"), std::ios::binary) << "x\r\ny\r\n";
  EXPECT_EQ(eval_text(L"(function () { var r = fso.OpenTextFile(dir + '/crlf.txt'); var x = r.ReadLine();"
                      L" return x + '|' + r.ReadLine() + '|' + r.AtEndOfStream; })()"),
            L"x|y|true");
}

// A missing file fails with a description that names it.
TEST_F(FileSystemTest, MissingFilesFailNamingThem) {
  EXPECT_EQ(eval_text(L"(function () { try { fso.OpenTextFile(dir + '/none.txt'); } catch (e) {"
                      L" return (e.number >>> 0).toString(16) + ' ' + e.description; } })()"),
            L"800a0035 Cannot open: file not found: " + from_utf8(dir_.file("none.txt")));
  EXPECT_EQ(eval_text(L"(function () { try { fso.OpenTextFile(dir + '/none.txt', 8); } catch (e) {"
                      L" return e.message.indexOf('none.txt') > 0; } })()"),
            L"-1");
  EXPECT_EQ(eval_text(L"(function () { try { fso.DeleteFile(dir + '/none.txt'); } catch (e) { return e.message; } })()"),
            L"DeleteFile: file not found: " + from_utf8(dir_.file("none.txt")));
  EXPECT_EQ(eval_text(L"(function () { try { fso.CreateTextFile(dir + '/no/such/x.txt'); } catch (e) {"
                      L" return (e.number >>> 0).toString(16); } })()"),
            L"800a0035");
  EXPECT_EQ(eval_text(L"(function () { try { fso.GetFolder(dir + '/nothing'); } catch (e) {"
                      L" return (e.number >>> 0).toString(16); } })()"),
            L"800a004c");
  // Reading past the end and writing to a reading stream fail too.
  add_code(L"fso.CreateTextFile(dir + '/empty.txt').Close();");
  EXPECT_EQ(eval_text(L"(function () { var r = fso.OpenTextFile(dir + '/empty.txt'); try { r.ReadLine(); }"
                      L" catch (e) { return (e.number >>> 0).toString(16); } })()"),
            L"800a003e");
  EXPECT_EQ(eval_text(L"(function () { var r = fso.OpenTextFile(dir + '/empty.txt'); try { r.Write('x'); }"
                      L" catch (e) { return (e.number >>> 0).toString(16); } })()"),
            L"800a0036");
  EXPECT_EQ(eval_text(L"(function () { try { fso.CreateTextFile(dir + '/empty.txt', false); } catch (e) {"
                      L" return (e.number >>> 0).toString(16); } })()"),
            L"800a003a");
}

// Folders: create, test, copy into, enumerate files and subfolders, delete.
TEST_F(FileSystemTest, FoldersAndEnumeration) {
  add_code(L"fso.CreateFolder(dir + '/sub'); fso.CreateFolder(dir + '/sub/inner');"
           L"fso.CreateTextFile(dir + '/sub/b.txt').Close(); fso.CreateTextFile(dir + '/sub/a.js').Close();"
           L"fso.CopyFile(dir + '/sub/a.js', dir + '/sub/inner/');");
  EXPECT_EQ(eval_text(L"fso.FolderExists(dir + '/sub') && fso.FileExists(dir + '/sub/inner/a.js')"), L"-1");
  EXPECT_EQ(eval_text(L"fso.FileExists(dir + '/sub')"), L"0");
  EXPECT_EQ(eval_text(L"(function () { var names = []; var folder = fso.GetFolder(dir + '/sub');"
                      L" for (var e = new Enumerator(folder.Files); !e.atEnd(); e.moveNext()) names.push(e.item().Name);"
                      L" for (e = new Enumerator(folder.SubFolders); !e.atEnd(); e.moveNext()) names.push('[' + e.item().Name + ']');"
                      L" return names.join(' ') + ' ' + folder.Files.Count; })()"),
            L"a.js b.txt [inner] 2");
  EXPECT_EQ(eval_text(L"fso.GetFile(dir + '/sub/b.txt').Size"), L"0");
  EXPECT_EQ(eval_text(L"fso.GetFile(dir + '/sub/b.txt').DateLastModified.getFullYear() >= 2020"), L"-1");
  eval(L"fso.DeleteFile(dir + '/sub/b.txt'); fso.DeleteFolder(dir + '/sub')");
  EXPECT_EQ(eval_text(L"fso.FolderExists(dir + '/sub')"), L"0");
}

// Absolute paths against the current folder, normalised.
TEST_F(FileSystemTest, AbsolutePathName) {
  const std::wstring here = from_utf8(std::filesystem::current_path().string());
  EXPECT_EQ(eval_text(L"fso.GetAbsolutePathName('x/../y.txt')"), here + L"/y.txt");
  EXPECT_EQ(eval_text(L"fso.GetAbsolutePathName('/a/b/')"), L"/a/b");
}

// The name functions cut at either separator.
TEST(FileSystemNames, CutPathsAsScriptsExpect) {
  EXPECT_EQ(parent_folder_name(L"/a/b/c.txt"), L"/a/b");
  EXPECT_EQ(parent_folder_name(L"/a/b/"), L"/a");
  EXPECT_EQ(parent_folder_name(L"/a"), L"/");
  EXPECT_EQ(parent_folder_name(L"c.txt"), L"");
  EXPECT_EQ(parent_folder_name(L"C:\\dir\\f.js"), L"C:\\dir");
  EXPECT_EQ(file_name(L"/a/b/c.txt"), L"c.txt");
  EXPECT_EQ(file_name(L"/a/b/"), L"b");
  EXPECT_EQ(file_name(L"/"), L"");
  EXPECT_EQ(base_name(L"/a/archive.tar.gz"), L"archive.tar");
  EXPECT_EQ(base_name(L"README"), L"README");
  EXPECT_EQ(extension_name(L"/a/archive.tar.gz"), L"gz");
  EXPECT_EQ(extension_name(L"/a.b/README"), L"");
  EXPECT_EQ(build_path(L"/a", L"b"), L"/a/b");
  EXPECT_EQ(build_path(L"/a/", L"/b"), L"/a/b");
  EXPECT_EQ(build_path(L"", L"b"), L"b");
}

}  // namespace
}  // namespace Tavrin::Platform::Script
