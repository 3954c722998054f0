#include "settings/reg_file_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "settings/filter_settings.h"
#include "testing/status_matchers.h"

namespace tarvex {
namespace {

using namespace std::string_literals;

const std::string kSection = "[HKEY_CURRENT_USER\\Software\\Tarvex]";
const std::string kHead = "REGEDIT4\n\n" + kSection + "\n";
const StoredValue kOne = {ValueType::kDword, "\x01\0\0\0"s};

enum class Backend { kMemory, kPosix };

// Every case runs over files in memory and over a real temporary folder.
class RegFileStoreTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::kPosix) {
      char temp[] = "/tmp/tarvex-settings-XXXXXX";
      ASSERT_NE(mkdtemp(temp), nullptr);
      dir_ = temp;
      fs_ = &posix_;
    }
    UsePath(dir_ + "/tarvex/settings.reg");
  }
  void TearDown() override {
    if (GetParam() == Backend::kPosix) std::filesystem::remove_all(dir_);
  }

  void Write(const std::string& contents) {
    fs_->CreateDirectories(dir_ + "/tarvex");
    ASSERT_OK(WriteWholeFile(*fs_, path_, contents));
  }
  std::string Read() {
    std::string contents;
    EXPECT_TRUE(fs_->ReadFile(path_, &contents));
    return contents;
  }
  void UsePath(const std::string& path) {
    path_ = path;
    store_ = std::make_unique<RegFileSettingsStore>(*fs_, path_);
  }
  RegFileSettingsStore& store() { return *store_; }
  std::optional<StoredValue> Query(const std::string& name) {
    std::unique_ptr<SettingsKey> key = store().OpenKey();
    return key ? key->Query(name) : std::nullopt;
  }
  void Set(const std::string& name, const StoredValue& value) {
    if (auto key = store().OpenKey()) key->Set(name, value);
  }

  MemoryFileSystem memory_;
  PosixFileSystem posix_;
  FileSystem* fs_ = &memory_;
  std::string dir_ = "/home/user/.config", path_;
  std::unique_ptr<RegFileSettingsStore> store_;
};

TEST_P(RegFileStoreTest, MissingFileOrSectionIsAMissingKey) {
  EXPECT_EQ(store().OpenKey(), nullptr);
  WriteDwordValue(store(), "BeepAtSpam", 1);
  EXPECT_FALSE(fs_->FileExists(path_));
  const std::string other = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"A\"=dword:1\n";
  Write(other);
  EXPECT_EQ(Query("A"), std::nullopt);
  WriteDwordValue(store(), "A", 1);
  EXPECT_EQ(Read(), other);

  Write(kHead);  // a key opened before the file went away
  std::unique_ptr<SettingsKey> key = store().OpenKey();
  ASSERT_NE(key, nullptr);
  if (GetParam() == Backend::kPosix) std::filesystem::remove(path_);
  memory_.files().erase(path_);
  key->Set("A", kOne);
  EXPECT_EQ(key->Query("A"), std::nullopt);
  EXPECT_FALSE(fs_->FileExists(path_));
}

TEST_P(RegFileStoreTest, CreateKeyMakesTheFileOrAddsTheSection) {
  UsePath(dir_ + "/deep/er/settings.reg");  // the folders do not exist yet
  ASSERT_TRUE(store().CreateKey());
  EXPECT_EQ(Read(), kHead);
  EXPECT_TRUE(store().CreateKey());
  EXPECT_EQ(Read(), kHead);

  // Added in the file's own line ends, after a line end missing from the last line.
  UsePath(dir_ + "/other.reg");
  const std::string other = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"X\"=hex:01";
  Write(other);
  ASSERT_TRUE(store().CreateKey());
  EXPECT_EQ(Read(), other + "\r\n\r\n" + kSection + "\r\n");
  WriteDwordValue(store(), "Y", 1);
  EXPECT_EQ(ReadDwordValue(store(), "Y"), 1u);
  EXPECT_EQ(Query("X"), std::nullopt);  // it belongs to the other section

  if (GetParam() == Backend::kMemory) {  // there but unreadable: left alone
    memory_.FailReads(path_);
    const std::string before = memory_.files()[path_];
    EXPECT_FALSE(store().CreateKey());
    EXPECT_EQ(memory_.files()[path_], before);
  }
}

TEST_P(RegFileStoreTest, EveryFormRoundTripsThroughTheFile) {
  std::string binary;
  for (int i = 0; i < 100; ++i) binary.push_back(static_cast<char>(i * 7));
  // Name, value, and the line written for it: é and € in UTF-8, an undefined byte kept.
  using T = ValueType;
  const std::vector<std::tuple<std::string, StoredValue, std::string>> forms = {
      {"Esc", {T::kString, "\\ \"q\"\tt\nn\rr;="}, "\"Esc\"=\"\\\\ \\\"q\\\"\\tt\\nn\\rr;=\""},
      {"Acc", {T::kString, "\xE9\x80\x81\xFF"}, "\"Acc\"=\"\xC3\xA9\xE2\x82\xAC\xC2\x81\xC3\xBF\""},
      {"Terminated", {T::kString, "a\0"s}, "\"Terminated\"=hex(1):61,00"},
      {"Control", {T::kString, "a\x01"}, "\"Control\"=hex(1):61,01"},
      {"Dword", {T::kDword, "\x2a\x00\x00\xf0"s}, "\"Dword\"=dword:f000002a"},
      {"Long", {T::kDword, "\x01\0\0\0\0"s}, "\"Long\"=hex(4):01,00,00,00,00"},
      {"Binary", {T::kBinary, binary}, "\"Binary\"=hex:00,07,0e,15,1c,23,2a,31,38,3f"},
      {"NoBytes", {T::kBinary, ""}, "\"NoBytes\"=hex:\n"},
      {"Multi", {T::kMultiString, "a\0b\0\0"s}, "\"Multi\"=hex(7):61,00,62,00,00"},
      {"Qword", {T::kQword, "\1\2\3\4\5\6\7\x8"}, "\"Qword\"=hex(b):01,02,03,04"},
      {"Odd type", {static_cast<T>(0x12345u), "\xff"}, "\"Odd type\"=hex(12345):ff"},
      {"N \"q\" \\ \xE9", {T::kString, "n"}, "\"N \\\"q\\\" \\\\ \xC3\xA9\"=\"n\""}};
  Write(kHead);
  for (const auto& [name, value, line] : forms) Set(name, value);
  const std::string file = Read();
  for (const auto& [name, value, line] : forms) {
    EXPECT_EQ(Query(name), value) << name;
    EXPECT_NE(file.find("\n" + line), std::string::npos) << line;
  }
  EXPECT_NE(file.find(",\\\n  "), std::string::npos);  // the 100 bytes are spread over lines
}

TEST_P(RegFileStoreTest, ReadsHandWrittenFilesLenientlyAndSetKeepsTheRestByteForByte) {
  const std::string start =
      "\xEF\xBB\xBFREGEDIT4\r\n"
      "; kept: [HKEY_CURRENT_USER\\Software\\Tarvex]\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
      "\"Text\"=\"not ours\"\r\n"
      "[hkey_current_user\\software\\TARVEX]\r\n"
      "@=\"default\"\r\n"
      "  \"Text\" = \"one \\\\ \\q\"  ; trailing comment\r\n"
      "\"NUMBER\"=DWORD:1f\r\n"
      "\"Hex\"=hex:01, 02,\\\r\n"
      "   03,04\r\n"
      "\"Dup\"=dword:00000001\r\n"
      "\"dup\"=dword:00000002\r\n"
      "\"Bad1\"=dword:123456789\r\n"
      "\"Bad2\"=hex(zz):00\r\n"
      "\"Bad3\"=\"open\r\n"
      "\"Bad4\"=hex:0g\r\n"
      "\"Bad5\"=hex:01,\\\r\n"
      "\"Accent\"=\"\xC3\xA9\xE2\x82\xAC\xE4\xB8\x80\"\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\B]   \r\n"
      "\"x\"=\"y\"";
  Write(start);
  EXPECT_EQ(Query("Text"), (StoredValue{ValueType::kString, "one \\ \\q"}));
  EXPECT_EQ(Query("number"), (StoredValue{ValueType::kDword, "\x1f\0\0\0"s}));
  EXPECT_EQ(Query("Hex"), (StoredValue{ValueType::kBinary, "\x01\x02\x03\x04"}));
  EXPECT_EQ(Query("DUP"), (StoredValue{ValueType::kDword, "\x02\0\0\0"s}));  // the last wins
  for (const char* bad : {"Bad1", "Bad2", "Bad3", "Bad4", "Bad5", "@", "", "x"}) {
    EXPECT_EQ(Query(bad), std::nullopt) << bad;
  }
  // UTF-8 comes in as Windows-1252; what it lacks becomes "?".
  EXPECT_EQ(Query("Accent"), (StoredValue{ValueType::kString, "\xE9\x80?"}));

  // Repeated lines for one name collapse into the last; a new value follows
  // the section's last line, in the file's line ends.
  Set("hex", kOne);
  Set("DUP", kOne);
  WriteStringValue(store(), "NotSpamFolderName", "Ham \xE9");
  std::string expected = start;
  expected.replace(expected.find("hex:01, 02,\\\r\n   03,04"), 22, "dword:00000001");
  expected.erase(expected.find("\"Dup\"=dword:00000001\r\n"), 22);
  expected.replace(expected.find("\"dup\"=dword:00000002"), 20, "\"dup\"=dword:00000001");
  expected.insert(expected.find("\r\n[HKEY_CURRENT_USER\\Software\\B]"),
                  "\"NotSpamFolderName\"=\"Ham \xC3\xA9\"\r\n");
  EXPECT_EQ(Read(), expected);
}

TEST_P(RegFileStoreTest, GarbageAndTruncatedFilesAreSurvived) {
  const std::string good = kHead + "\"W\"=\"/w\"\n\"Bin\"=hex:01,02,03,04,05,06\n\"A\"=dword:2\n";
  const bool in_memory = GetParam() == Backend::kMemory;  // real files get a sample
  std::vector<std::string> files;
  for (size_t length = 0; length <= good.size(); length += in_memory ? 1 : 5) {
    files.push_back(good.substr(0, length));
  }
  std::mt19937 random(7);
  const std::vector<std::string> pieces = {"\"", "=", "\\",     "\n", "\r\n", "hex:", "hex(",
                                           ")",  ",", "dword:", "ff", "0",    ";",    "[",
                                           "]",  " ", kSection, "@",  "A",    "\xC3", "\0"s};
  for (int i = 0; i < (in_memory ? 300 : 20); ++i) {
    files.push_back(kSection + "\n");
    for (int j = 0; j < 40; ++j) files.back() += pieces[random() % pieces.size()];
  }
  for (const std::string& file : files) {
    Write(file);
    Query("W");
    Query("Bin");
    if (!store().OpenKey()) continue;
    Set("A", kOne);  // whatever the file held, a value set into it can be read back
    EXPECT_EQ(Query("A"), kOne) << file;
  }
}

// What makes the key missing is told with the file: the line that does not
// parse, an empty file, the missing section, or the system's reason.
TEST_P(RegFileStoreTest, CheckSaysWhyThereIsNoKey) {
  EXPECT_TRUE(store().Check().IsNotFound());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {kHead + "\"A\"=dword:1\n", ""},
      {"Windows Registry Editor Version 5.00\r\n\r\n" + kSection + "\r\n", ""},
      {"", ": the file is empty"},
      {" \n\r\n", ": the file is empty"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"A\"=dword:1\n; note\n",
       ": no [HKEY_CURRENT_USER\\Software\\Tarvex] section in the file"},
      {"REGEDIT4\n\nthis is not\tthe format\n[Other]\n",
       ": line 3 does not parse: \"this is not?the format\""},
      {"\xEF\xBB\xBFgarbage " + std::string(80, 'x'),
       ": line 1 does not parse: \"garbage " + std::string(52, 'x') + "...\""},
  };
  for (const auto& [contents, why] : cases) {
    SCOPED_TRACE(contents);
    Write(contents);
    EXPECT_EQ(store().Check().message(), why.empty() ? "" : path_ + why);
  }
}

// A reset writes a fresh key and keeps the old file beside it.
TEST_P(RegFileStoreTest, ResetKeepsTheOldFileAsBackup) {
  Write("garbage\n");
  ASSERT_OK(store().Reset());
  EXPECT_EQ(Read(), kHead);
  std::string backup;
  ASSERT_TRUE(fs_->ReadFile(path_ + ".bak", &backup));
  EXPECT_EQ(backup, "garbage\n");
  EXPECT_OK(store().Check());
}

TEST_P(RegFileStoreTest, ChangesByAnotherWriterAreSeen) {
  Write(kHead + "\"LearnFromMarkSpam\"=dword:00000001\n");
  FilterSettings settings(store());
  std::unique_ptr<SettingsKey> key = store().OpenKey();
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(settings.GetLearnFromMarkSpam(), 1u);
  RegFileSettingsStore other(*fs_, path_);
  WriteDwordValue(other, "LearnFromMarkSpam", 0);
  EXPECT_EQ(settings.GetLearnFromMarkSpam(), 0u);
  EXPECT_EQ(key->Query("LearnFromMarkSpam")->data, std::string(4, '\0'));
  // An editor rewrites the file in its own way, or takes the section away.
  Write(kSection + "\r\n\"learnfrommarkspam\"=hex(4):07,00\r\n\"NotSpamFolderName\"=\"Ok\"");
  EXPECT_EQ(settings.GetLearnFromMarkSpam(), 7u);
  EXPECT_EQ(settings.GetNotSpamFolderName(), "Ok");
  Write("REGEDIT4\n");
  EXPECT_EQ(key->Query("LearnFromMarkSpam"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Backends, RegFileStoreTest,
                         ::testing::Values(Backend::kMemory, Backend::kPosix),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return info.param == Backend::kMemory ? "Memory" : "Posix";
                         });

TEST(DefaultSettingsPathTest, PrefersTheExplicitFileThenXdgThenHome) {
  std::map<std::string, std::string> env = {{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", ""}};
  auto getenv = [&env](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  EXPECT_EQ(DefaultSettingsPath(getenv), "/home/u/.config/tarvex/settings.reg");
  env["XDG_CONFIG_HOME"] = "/cfg";
  env["TARVEX_CONFIG"] = "";
  EXPECT_EQ(DefaultSettingsPath(getenv), "/cfg/tarvex/settings.reg");
  env["TARVEX_CONFIG"] = "/etc/t.reg";
  EXPECT_EQ(DefaultSettingsPath(getenv), "/etc/t.reg");
}

}  // namespace
}  // namespace tarvex
