#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/registry/Registry.h"
#include "support/RunProgram.h"
#include "support/TempHive.h"

namespace {

const std::string kTool = PELLORA_BINARY_DIR "/tools/pellora-reg/pellora-reg";
constexpr const char* kSettings = "Software\\Korvent_Programs\\Pellora";

using Result = ProgramResult;

// Runs the tool as a person would, in this test's hive, and collects what it printed.
Result Tool(const std::vector<std::string>& args) { return RunProgram(kTool, args); }

using Value = std::tuple<std::string, DWORD, std::string>;
using Tree = std::map<std::string, std::vector<Value>>;

// Every key below `path` with its values in enumeration order, read straight from the hive.
void Snapshot(const std::string& path, Tree* tree) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::vector<Value>& values = (*tree)[path];
  for (DWORD index = 0;; ++index) {
    char name[512];
    BYTE data[4096];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    values.emplace_back(std::string(name, nameSize), type, std::string(reinterpret_cast<char*>(data), dataSize));
  }
  std::vector<std::string> children;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name, size);
  }
  RegCloseKey(key);
  for (const std::string& child : children) Snapshot(path + "\\" + child, tree);
}

Tree Snapshot(const std::string& path) {
  Tree tree;
  Snapshot(path, &tree);
  return tree;
}

std::string Bytes(const char* data, size_t size) { return std::string(data, size); }

void SetRaw(const std::string& path, const char* name, DWORD type, const std::string& bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::optional<Value> Find(const Tree& tree, const std::string& path, const std::string& name) {
  auto key = tree.find(path);
  if (key == tree.end()) return std::nullopt;
  for (const Value& value : key->second) {
    if (std::get<0>(value) == name) return value;
  }
  return std::nullopt;
}

class PelloraReg : public ::testing::Test {
 protected:
  std::string File(const char* name) const { return hive_.Dir() + "/" + name; }
  TempHive hive_;
};

TEST_F(PelloraReg, AddStoresEachTypeAsTheProgramWouldReadIt) {
  const std::string key = "HKCU\\Software\\Korvent_Programs\\Pellora";
  const std::vector<std::vector<std::string>> adds = {
      {"/v", "BallsCount", "/d", "100"},
      {"/v", "Empty", "/t", "REG_SZ", "/d", ""},
      {"/v", "Path", "/t", "reg_expand_sz", "/d", "%HOME%\\x"},
      {"/v", "Count", "/t", "REG_DWORD", "/d", "10"},
      {"/v", "Mask", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"},
      {"/v", "Big", "/t", "REG_QWORD", "/d", "0x0102030405060708"},
      {"/v", "Bin", "/t", "REG_BINARY", "/d", "00ff7F"},
      {"/v", "List", "/t", "REG_MULTI_SZ", "/d", "one\\0two"},
      {"/v", "Parted", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "a#b#c"},
      {"/ve", "/d", "default"},
  };
  for (const auto& add : adds) {
    std::vector<std::string> args{"add", key};
    args.insert(args.end(), add.begin(), add.end());
    const Result run = Tool(args);
    EXPECT_EQ(run.status, 0) << add[1] << ": " << run.err;
  }
  const Tree tree = Snapshot(kSettings);
  EXPECT_EQ(Find(tree, kSettings, "BallsCount"), Value("BallsCount", REG_SZ, Bytes("100\0", 4)));
  EXPECT_EQ(Find(tree, kSettings, "Empty"), Value("Empty", REG_SZ, Bytes("\0", 1)));
  EXPECT_EQ(Find(tree, kSettings, "Path"), Value("Path", REG_EXPAND_SZ, Bytes("%HOME%\\x\0", 9)));
  EXPECT_EQ(Find(tree, kSettings, "Count"), Value("Count", REG_DWORD, Bytes("\x0A\0\0\0", 4)));
  EXPECT_EQ(Find(tree, kSettings, "Mask"), Value("Mask", REG_DWORD, Bytes("\xFF\xFF\xFF\xFF", 4)));
  EXPECT_EQ(Find(tree, kSettings, "Big"), Value("Big", REG_QWORD, Bytes("\x08\x07\x06\x05\x04\x03\x02\x01", 8)));
  EXPECT_EQ(Find(tree, kSettings, "Bin"), Value("Bin", REG_BINARY, Bytes("\x00\xFF\x7F", 3)));
  EXPECT_EQ(Find(tree, kSettings, "List"), Value("List", REG_MULTI_SZ, Bytes("one\0two\0\0", 9)));
  EXPECT_EQ(Find(tree, kSettings, "Parted"), Value("Parted", REG_MULTI_SZ, Bytes("a\0b\0c\0\0", 7)));
  EXPECT_EQ(Find(tree, kSettings, ""), Value("", REG_SZ, Bytes("default\0", 8)));
}

TEST_F(PelloraReg, AddRefusesToReplaceWithoutForceAndRefusesBadData) {
  const std::string key = "HKCU\\Control Panel\\Desktop";
  Result run = Tool({"add", key, "/v", "ScreenSaveUsePassword", "/t", "REG_DWORD", "/d", "1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("/f"), std::string::npos) << run.err;
  EXPECT_EQ(Find(Snapshot("Control Panel\\Desktop"), "Control Panel\\Desktop", "ScreenSaveUsePassword"),
            Value("ScreenSaveUsePassword", REG_DWORD, Bytes("\0\0\0\0", 4)));
  run = Tool({"add", key, "/v", "ScreenSaveUsePassword", "/t", "REG_DWORD", "/d", "1", "/f"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Find(Snapshot("Control Panel\\Desktop"), "Control Panel\\Desktop", "ScreenSaveUsePassword"),
            Value("ScreenSaveUsePassword", REG_DWORD, Bytes("\x01\0\0\0", 4)));

  // Bad data is refused before anything is made, key included.
  const std::vector<std::vector<std::string>> bad = {
      {"/t", "REG_DWORD", "/d", "12x"},       {"/t", "REG_DWORD", "/d", "4294967296"}, {"/t", "REG_DWORD", "/d", "-1"},
      {"/t", "REG_DWORD", "/d", ""},          {"/t", "REG_DWORD", "/d", "0x"},         {"/t", "REG_QWORD", "/d", "18446744073709551616"},
      {"/t", "REG_BINARY", "/d", "abc"},      {"/t", "REG_BINARY", "/d", "zz"},        {"/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"},
      {"/t", "REG_WHATEVER", "/d", "1"},      {"/t", "REG_SZ", "/s", "#", "/d", "x"},
  };
  for (const auto& args : bad) {
    std::vector<std::string> full{"add", "HKCU\\Software\\Fresh", "/v", "X"};
    full.insert(full.end(), args.begin(), args.end());
    run = Tool(full);
    EXPECT_EQ(run.status, 1) << args[1] << " " << args.back();
    EXPECT_NE(run.err.find("ERROR:"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  EXPECT_TRUE(Snapshot("Software\\Fresh").empty());
}

TEST_F(PelloraReg, QueryShowsValuesAndSubkeys) {
  SetRaw(kSettings, "Picture", REG_SZ, Bytes("\"Standart\"\0", 11));
  SetRaw(kSettings, "BallsSpeed", REG_SZ, Bytes("6\0", 2));
  SetRaw(std::string(kSettings) + "\\Child", "Inner", REG_DWORD, Bytes("\x2A\0\0\0", 4));
  Result run = Tool({"query", "HKEY_CURRENT_USER\\Software\\Korvent_Programs\\Pellora"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "\nHKEY_CURRENT_USER\\Software\\Korvent_Programs\\Pellora\n"
            "    Picture    REG_SZ    \"Standart\"\n"
            "    BallsSpeed    REG_SZ    6\n"
            "\nHKEY_CURRENT_USER\\Software\\Korvent_Programs\\Pellora\\Child\n");
  run = Tool({"query", "hkcu\\software\\korvent_programs\\pellora", "/s"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("    Inner    REG_DWORD    0x2a\n"), std::string::npos) << run.out;
  run = Tool({"query", "HKCU\\Software\\Korvent_Programs\\Pellora", "/v", "ballsspeed"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "\nHKEY_CURRENT_USER\\Software\\Korvent_Programs\\Pellora\n    BallsSpeed    REG_SZ    6\n");

  run = Tool({"query", "HKCU\\Software\\Korvent_Programs\\Pellora", "/v", "Missing"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Missing"), std::string::npos) << run.err;
  run = Tool({"query", "HKCU\\Software\\Korvent_Programs\\Pellora", "/ve"});
  EXPECT_EQ(run.status, 1);
  run = Tool({"query", "HKCU\\Software\\Nowhere"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;
}

TEST_F(PelloraReg, ExportDeleteImportGivesBackEveryByte) {
  const std::string top = "Software\\Korvent_Programs";
  ASSERT_EQ(Tool({"add", "HKCU\\" + std::string(kSettings), "/v", "BallsCount", "/d", "100"}).status, 0);
  ASSERT_EQ(Tool({"add", "HKCU\\" + std::string(kSettings), "/v", "Count", "/t", "REG_DWORD", "/d", "0x2a"}).status, 0);
  ASSERT_EQ(Tool({"add", "HKCU\\" + std::string(kSettings), "/ve", "/d", "with \"quotes\" and \\ backslash"}).status, 0);
  // Data the tool cannot type but the hive can hold must come back too.
  SetRaw(kSettings, "NoZero", REG_SZ, "abc");
  SetRaw(kSettings, "TwoZeros", REG_SZ, Bytes("ab\0\0", 4));
  SetRaw(kSettings, "Inside", REG_SZ, Bytes("a\0b\0", 4));
  SetRaw(kSettings, "Lines", REG_SZ, Bytes("one\ntwo\r\0", 9));
  SetRaw(kSettings, "NoBytes", REG_SZ, "");
  SetRaw(kSettings, "High", REG_SZ, Bytes("caf\xE9\0", 5));
  SetRaw(kSettings, "ShortDword", REG_DWORD, Bytes("\x01\x02\x03", 3));
  SetRaw(kSettings, "Odd type", 0x12345678, Bytes("\xDE\xAD", 2));
  SetRaw(kSettings, "Quote\"Name\\", REG_BINARY, "");
  std::string large;
  for (int i = 0; i < 700; ++i) large.push_back(static_cast<char>(i * 7));
  SetRaw(kSettings, "Large", REG_BINARY, large);
  SetRaw(kSettings, "Expand", REG_EXPAND_SZ, Bytes("%PATH%\0", 7));
  SetRaw(top + "\\Empty Key", "", REG_NONE, "");
  HKEY bare = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (top + "\\Bare\\Deeper").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &bare, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(bare);
  const Tree before = Snapshot(top);
  ASSERT_EQ(before.size(), 5u);

  const std::string file = File("settings.reg");
  Result run = Tool({"export", "HKCU\\" + top, file});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string text = ReadWholeFile(file);
  EXPECT_EQ(text.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Korvent_Programs]\n", 0), 0u) << text;
  EXPECT_NE(text.find("\"BallsCount\"=\"100\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Count\"=dword:0000002a\n"), std::string::npos) << text;
  EXPECT_NE(text.find("@=\"with \\\"quotes\\\" and \\\\ backslash\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"NoZero\"=hex(1):61,62,63\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Expand\"=hex(2):25,50,41,54,48,25,00\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Odd type\"=hex(12345678):de,ad\n"), std::string::npos) << text;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LE(end - start, 80u) << "long data is continued on the next line";
  }

  run = Tool({"delete", "HKCU\\" + top, "/f"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Snapshot(top).empty());
  run = Tool({"import", file});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Snapshot(top) == before) << "the imported tree differs from the exported one";

  // An export never overwrites a file unless told to.
  run = Tool({"export", "HKCU\\" + top, file});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReadWholeFile(file), text);
  EXPECT_EQ(Tool({"export", "HKCU\\" + top, file, "/y"}).status, 0);
}

TEST_F(PelloraReg, ImportDeletesWhatTheFileSaysToDelete) {
  SetRaw(kSettings, "Keep", REG_SZ, Bytes("k\0", 2));
  SetRaw(kSettings, "Drop", REG_SZ, Bytes("d\0", 2));
  SetRaw(std::string(kSettings) + "\\Gone\\Below", "x", REG_DWORD, Bytes("\0\0\0\0", 4));
  const std::string file = File("changes.reg");
  WriteWholeFile(file,
                 "REGEDIT4\r\n\r\n"
                 "; comments and CRLF line ends are fine\r\n"
                 "[-HKEY_CURRENT_USER\\Software\\Korvent_Programs\\Pellora\\Gone]\r\n\r\n"
                 "[HKCU\\Software\\Korvent_Programs\\Pellora]\r\n"
                 "\"Drop\"=-\r\n"
                 "\"Never There\"=-\r\n"
                 "\"Added\"=hex:01,\\\r\n"
                 "  02,03\r\n");
  const Result run = Tool({"import", file});
  ASSERT_EQ(run.status, 0) << run.err;
  const Tree tree = Snapshot(kSettings);
  EXPECT_EQ(tree.size(), 1u) << "the Gone subtree is deleted";
  EXPECT_TRUE(Find(tree, kSettings, "Keep").has_value());
  EXPECT_FALSE(Find(tree, kSettings, "Drop").has_value());
  EXPECT_EQ(Find(tree, kSettings, "Added"), Value("Added", REG_BINARY, Bytes("\x01\x02\x03", 3)));
}

// Each bad file is refused with the line at fault, and nothing is written: not into a hive
// that exists (its file keeps every byte), and no hive is made where there is none.
TEST_F(PelloraReg, MalformedImportsAreRefusedWithTheirLineAndWriteNothing) {
  const std::string good = "[HKEY_CURRENT_USER\\Software\\Korvent_Programs\\Pellora]\n\"Keep\"=\"changed\"\n\"New\"=dword:1\n";
  const std::string head = "REGEDIT4\n\n" + good;  // lines 1 to 5; what follows is line 6
  const std::vector<std::tuple<std::string, std::string, int>> files = {
      {"no header", good, 1},
      {"version 5 header", "Windows Registry Editor Version 5.00\n\n" + good, 1},
      {"header after blank lines", "\n\n" + good, 3},
      {"value before any key", "REGEDIT4\n\n\"Loose\"=\"x\"\n" + good, 3},
      {"unclosed section", head + "[HKEY_CURRENT_USER\\Software\n", 6},
      {"other root", head + "[HKEY_LOCAL_MACHINE\\Software]\n", 6},
      {"unclosed quote", head + "\"Name=\"x\"\n", 6},
      {"bad escape", head + "\"Name\"=\"a\\qb\"\n", 6},
      {"junk after text", head + "\"Name\"=\"a\" b\n", 6},
      {"long dword", head + "\"Name\"=dword:123456789\n", 6},
      {"bad hex byte", head + "\"Name\"=hex:01,0g\n", 6},
      {"three-digit byte", head + "\"Name\"=hex:100\n", 6},
      {"hex cut off", head + "\"Name\"=hex:01,\\\n", 6},
      {"bad type", head + "\"Name\"=hex(zz):01\n", 6},
      {"unknown form", head + "\"Name\"=qword:1\n", 6},
      {"no equals", head + "\"Name\" \"x\"\n", 6},
      {"stray line after a comment", head + "; fine\nhello\n", 7},
      {"value in a deleted key", head + "[-HKCU\\Software\\X]\n\"a\"=\"b\"\n", 7},
      {"deleting the root", "REGEDIT4\n\n[-HKEY_CURRENT_USER]\n" + good, 3},
      {"empty key name", head + "[HKEY_CURRENT_USER\\Software\\\\X]\n", 6},
      {"overlong key name", head + "[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\n", 6},
      {"CRLF line ends", "REGEDIT4\r\n\r\n[HKCU\\Software]\r\n\"a\"=hex:zz\r\n", 4},
      {"empty file", "", 1},
      {"blank lines only", "\n \n\t\n", 1},
  };
  const auto refusesAll = [&](const char* when) {
    for (const auto& [what, content, line] : files) {
      const std::string file = File("bad.reg");
      WriteWholeFile(file, content);
      const Result run = Tool({"import", file});
      EXPECT_EQ(run.status, 1) << what << " " << when;
      EXPECT_NE(run.err.find(file + ":" + std::to_string(line) + ": "), std::string::npos) << what << ": " << run.err;
      EXPECT_NE(run.err.find("Nothing was imported"), std::string::npos) << what << ": " << run.err;
      EXPECT_EQ(run.out, "") << what;
    }
  };
  refusesAll("before there is a hive");
  EXPECT_FALSE(std::filesystem::exists(hive_.File())) << "a refused import made a hive";

  SetRaw(kSettings, "Keep", REG_SZ, Bytes("k\0", 2));
  const Tree before = Snapshot("Software");
  const std::string bytes = ReadWholeFile(hive_.File());
  refusesAll("with a hive");
  EXPECT_TRUE(Snapshot("Software") == before) << "the hive's values changed";
  EXPECT_TRUE(ReadWholeFile(hive_.File()) == bytes) << "the hive's file changed";

  const Result missing = Tool({"import", File("absent.reg")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot be read"), std::string::npos) << missing.err;
}

TEST_F(PelloraReg, UsageErrorsExitOneWithAMessage) {
  SetRaw(kSettings, "Keep", REG_SZ, Bytes("k\0", 2));
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"frobnicate"},
      {"query"},
      {"query", "HKLM\\Software"},
      {"query", "Software\\Korvent_Programs"},
      {"query", "HKCU\\Software", "extra"},
      {"query", "HKCU\\Software", "/v"},
      {"add", "HKCU\\Software\\X", "/v", "a", "/ve"},
      {"add", "HKCU\\Software\\X", "/d", "data"},
      {"add", "HKCU\\Software\\X", "/v", "a", "/v", "b"},
      {"delete", "HKCU\\Software\\Korvent_Programs"},
      {"delete", "HKCU", "/f"},
      {"delete", "HKCU\\Software\\Korvent_Programs\\Pellora", "/v", "Absent", "/f"},
      {"delete", "HKCU\\Software\\Nowhere", "/f"},
      {"export", "HKCU\\Software"},
      {"export", "HKCU\\Software\\Nowhere", File("x.reg")},
      {"import"},
  };
  for (const auto& args : wrong) {
    const Result run = Tool(args);
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    EXPECT_EQ(run.status, 1) << shown;
    EXPECT_FALSE(run.err.empty()) << shown;
    EXPECT_TRUE(run.out.empty()) << shown << ": " << run.out;
  }
  EXPECT_TRUE(Find(Snapshot(kSettings), kSettings, "Keep").has_value());
  EXPECT_FALSE(std::filesystem::exists(File("x.reg")));
  const Result help = Tool({"/?"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("pellora-reg query KEY"), std::string::npos);
}

TEST_F(PelloraReg, DeleteRemovesValuesAndKeys) {
  SetRaw(kSettings, "A", REG_SZ, Bytes("a\0", 2));
  SetRaw(kSettings, "B", REG_SZ, Bytes("b\0", 2));
  SetRaw(kSettings, "", REG_SZ, Bytes("d\0", 2));
  SetRaw(std::string(kSettings) + "\\Sub", "C", REG_SZ, Bytes("c\0", 2));
  const std::string key = "HKCU\\" + std::string(kSettings);
  EXPECT_EQ(Tool({"delete", key, "/v", "a", "/f"}).status, 0);
  EXPECT_EQ(Tool({"delete", key, "/ve", "/f"}).status, 0);
  Tree tree = Snapshot(kSettings);
  EXPECT_EQ(tree[kSettings], std::vector<Value>{Value("B", REG_SZ, Bytes("b\0", 2))});
  EXPECT_EQ(Tool({"delete", key, "/va", "/f"}).status, 0);
  tree = Snapshot(kSettings);
  EXPECT_TRUE(tree[kSettings].empty());
  EXPECT_EQ(tree.size(), 2u) << "/va leaves subkeys alone";
  EXPECT_EQ(Tool({"delete", key, "/f"}).status, 0);
  EXPECT_TRUE(Snapshot(kSettings).empty());
}

// An account that has never run the saver: commands that only look, or find nothing to
// delete, must not make the hive or the folders above it.
TEST_F(PelloraReg, AnAccountWithoutAHiveIsLeftWithout) {
  struct HomeFor {
    explicit HomeFor(const std::string& home) {
      if (const char* old = getenv("HOME")) previous = old;
      setenv("HOME", home.c_str(), 1);
      unsetenv("XDG_CONFIG_HOME");
    }
    ~HomeFor() { setenv("HOME", previous.c_str(), 1); }
    std::string previous = "/";
  };
  const std::string home = hive_.Dir() + "/home";
  std::filesystem::create_directory(home);
  HomeFor account(home);
  const std::string hive = home + "/.config/pellora/hive.db";
  const std::vector<std::vector<std::string>> commands = {
      {"query", "HKCU\\Software\\Korvent_Programs\\Pellora"},
      {"query", "HKCU\\Control Panel\\Desktop", "/v", "ScreenSaveUsePassword"},
      {"query", "HKCU", "/s"},
      {"export", "HKCU\\Software", File("out.reg")},
      {"delete", "HKCU\\Software\\Korvent_Programs", "/f"},
      {"delete", "HKCU\\Software\\Korvent_Programs\\Pellora", "/va", "/f"},
  };
  for (const std::vector<std::string>& args : commands) {
    const Result run = Tool(args);
    EXPECT_EQ(run.status, 1) << args[0] << " " << args[1];
    EXPECT_NE(run.err.find(" does not exist: there is no registry hive yet at \"" + hive + "\"."), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(std::filesystem::is_empty(home)) << args[0] << " " << args[1] << " made something in the home folder";
  }
  EXPECT_FALSE(std::filesystem::exists(File("out.reg")));
  // A change makes the hive, as it always has.
  EXPECT_EQ(Tool({"add", "HKCU\\Software\\X", "/v", "a", "/d", "b"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(hive));
}

TEST_F(PelloraReg, AHiveThatCannotBeUsedIsReported) {
  std::filesystem::create_directories(hive_.Folder());
  WriteWholeFile(hive_.File(), std::string(5000, 'G'));
  const std::string before = ReadWholeFile(hive_.File());
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"query", "HKCU\\Control Panel\\Desktop"}, {"add", "HKCU\\Software\\X", "/v", "a", "/d", "b", "/f"}}) {
    const Result run = Tool(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(hive_.File()), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not a registry hive"), std::string::npos) << run.err;
  }
  const std::string file = File("fine.reg");
  WriteWholeFile(file, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\X]\n\"a\"=\"b\"\n");
  const Result run = Tool({"import", file});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("not a registry hive"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("stopped at [HKEY_CURRENT_USER\\Software\\X]"), std::string::npos) << run.err;
  EXPECT_TRUE(ReadWholeFile(hive_.File()) == before);
}

}  // namespace
