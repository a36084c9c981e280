#include "tools/reg_data.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tools/reg_args.h"

namespace {

using namespace Tavrin::Reg;

std::string bytes(std::initializer_list<int> list) {
  std::string out;
  for (int b : list) out += static_cast<char>(b);
  return out;
}

// What `reg add` stores for each type, and the data it refuses.
TEST(RegDataTest, EncodesAddData) {
  EXPECT_EQ(bytes({'a', 0, 'b', 0, 'c', 0, 0, 0}), encode_data(REG_SZ, L"abc", L"\\0"));
  EXPECT_EQ(bytes({0, 0}), encode_data(REG_EXPAND_SZ, L"", L"\\0"));
  EXPECT_EQ(bytes({'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}),
            encode_data(REG_MULTI_SZ, L"a\\0bc", L"\\0"));
  EXPECT_EQ(bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}), encode_data(REG_MULTI_SZ, L"a#b", L"#"));
  EXPECT_EQ(bytes({0x2A, 0, 0, 0}), encode_data(REG_DWORD, L"42", L""));
  EXPECT_EQ(bytes({0xFF, 0xFF, 0xFF, 0xFF}), encode_data(REG_DWORD, L"0xffffffff", L""));
  EXPECT_EQ(bytes({0, 0, 0, 0}), encode_data(REG_DWORD, L"", L""));
  EXPECT_EQ(bytes({1, 0, 0, 0, 1, 0, 0, 0}), encode_data(REG_QWORD, L"0x100000001", L""));
  EXPECT_EQ(bytes({0x0A, 0xFF, 0x00}), encode_data(REG_BINARY, L"0aFF00", L""));
  EXPECT_THROW(encode_data(REG_DWORD, L"4294967296", L""), UsageError);
  EXPECT_THROW(encode_data(REG_DWORD, L"12ab", L""), UsageError);
  EXPECT_THROW(encode_data(REG_DWORD, L"0x", L""), UsageError);
  EXPECT_THROW(encode_data(REG_BINARY, L"abc", L""), UsageError);
  EXPECT_THROW(encode_data(REG_BINARY, L"zz", L""), UsageError);
}

// How `reg query` shows data.
TEST(RegDataTest, DisplaysData) {
  EXPECT_EQ(L"abc", display_data(REG_SZ, bytes({'a', 0, 'b', 0, 'c', 0})));
  EXPECT_EQ(L"0x2a", display_data(REG_DWORD, bytes({0x2A, 0, 0, 0})));
  EXPECT_EQ(L"0x100000001", display_data(REG_QWORD, bytes({1, 0, 0, 0, 1, 0, 0, 0})));
  EXPECT_EQ(L"0x1020304", display_data(REG_DWORD_BIG_ENDIAN, bytes({1, 2, 3, 4})));
  EXPECT_EQ(L"0AFF", display_data(REG_DWORD, bytes({0x0A, 0xFF})));
  EXPECT_EQ(L"a\\0bc", display_data(REG_MULTI_SZ, encode_data(REG_MULTI_SZ, L"a\\0bc", L"\\0")));
  EXPECT_EQ(L"00FF10", display_data(0x99, bytes({0, 0xFF, 0x10})));
  EXPECT_EQ(L"REG_EXPAND_SZ", type_name(REG_EXPAND_SZ));
  EXPECT_EQ(L"0x99", type_name(0x99));
}

// Values in the .reg format: strings quoted and escaped when they read back
// the same, otherwise hex lists wrapped below 80 columns.
TEST(RegDataTest, RegFileValues) {
  EXPECT_EQ(L"\"Path\"=\"C:\\\\a \\\"b\\\"\"\n",
            reg_file_value(L"Path", REG_SZ, encode_data(REG_SZ, L"C:\\a \"b\"", L"")));
  EXPECT_EQ(L"@=\"x\"\n", reg_file_value(L"", REG_SZ, Tavrin::Platform::registry_string_bytes(L"x")));
  EXPECT_EQ(L"\"n\"=dword:0000002a\n", reg_file_value(L"n", REG_DWORD, bytes({0x2A, 0, 0, 0})));
  EXPECT_EQ(L"\"b\"=hex:00,ff\n", reg_file_value(L"b", REG_BINARY, bytes({0, 0xFF})));
  EXPECT_EQ(L"\"e\"=hex(2):25,00,00,00\n",
            reg_file_value(L"e", REG_EXPAND_SZ, encode_data(REG_EXPAND_SZ, L"%", L"")));
  EXPECT_EQ(L"\"nl\"=hex(1):61,00,0a,00\n",
            reg_file_value(L"nl", REG_SZ, Tavrin::Platform::registry_string_bytes(L"a\n")));
  EXPECT_EQ(L"\"q\"=hex(b):01,00,00,00,00,00,00,00\n",
            reg_file_value(L"q", REG_QWORD, encode_data(REG_QWORD, L"1", L"")));

  const std::wstring wrapped = reg_file_value(L"long", REG_BINARY, std::string(100, '\x11'));
  std::wistringstream lines(wrapped);
  std::wstring line;
  size_t count = 0, digits = 0;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_LE(line.size(), 80u) << count;
    for (size_t at = line.find(L"11"); at != std::wstring::npos; at = line.find(L"11", at + 2)) ++digits;
  }
  EXPECT_EQ(100u, digits);
  EXPECT_GT(count, 3u);
  EXPECT_EQ(0u, wrapped.find(L"\"long\"=hex:11,11,"));
}

// Key names, switches and their conflicts.
TEST(RegArgsTest, ParsesCommands) {
  Command c = parse_command({L"ADD", L"hkey_local_machine\\Software\\X\\", L"/V", L"n", L"-t",
                             L"reg_dword", L"/d", L"5", L"/F"});
  EXPECT_EQ(Verb::kAdd, c.verb);
  EXPECT_EQ(HKEY_LOCAL_MACHINE, c.key.root);
  EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\Software\\X", c.key.full());
  EXPECT_EQ(L"n", c.value.value());
  EXPECT_EQ(REG_DWORD, c.type);
  EXPECT_TRUE(c.force);
  c = parse_command({L"export", L"HKCR", L"out.reg", L"/y"});
  EXPECT_EQ(L"HKEY_CLASSES_ROOT", c.key.full());
  EXPECT_EQ(L"out.reg", c.file);
  EXPECT_TRUE(c.force);

  EXPECT_THROW(parse_command({L"query", L"HKXX\\a"}), UsageError);
  EXPECT_THROW(parse_command({L"query", L"HKCU", L"/v", L"a", L"/ve"}), UsageError);
  EXPECT_THROW(parse_command({L"delete", L"HKCU\\a", L"/va", L"/v", L"x"}), UsageError);
  EXPECT_THROW(parse_command({L"query", L"HKCU", L"/d", L"x"}), UsageError);
  EXPECT_THROW(parse_command({L"add", L"HKCU\\a", L"/t", L"REG_LINK"}), UsageError);
  EXPECT_THROW(parse_command({L"add", L"HKCU\\a", L"/v"}), UsageError);
  EXPECT_THROW(parse_command({L"export", L"HKCU"}), UsageError);
  EXPECT_THROW(parse_command({L"rename", L"HKCU"}), UsageError);
}

}  // namespace
