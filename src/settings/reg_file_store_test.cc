#include "settings/reg_file_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "settings/filter_settings.h"

namespace tarvex {
namespace {

using namespace std::string_literals;

constexpr char kSection[] = "[HKEY_CURRENT_USER\\Software\\Tarvex]";

enum class Backend { kMemory, kPosix };

// Every case runs over files in memory and over a real temporary folder.
class RegFileStoreTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::kMemory) {
      fs_ = &memory_;
      dir_ = "/home/user/.config";
    } else {
      fs_ = &posix_;
      char temp[] = "/tmp/tarvex-settings-XXXXXX";
      ASSERT_NE(mkdtemp(temp), nullptr);
      dir_ = temp;
    }
    path_ = dir_ + "/tarvex/settings.reg";
  }
  void TearDown() override {
    if (GetParam() == Backend::kPosix) std::filesystem::remove_all(dir_);
  }

  void Write(const std::string& contents) {
    fs_->CreateDirectories(dir_ + "/tarvex");
    ASSERT_TRUE(WriteWholeFile(*fs_, path_, contents));
  }
  std::string Read() {
    std::string contents;
    EXPECT_TRUE(fs_->ReadFile(path_, &contents));
    return contents;
  }
  std::optional<StoredValue> Query(const std::string& name) {
    std::unique_ptr<SettingsKey> key = store().OpenKey();
    if (!key) return std::nullopt;
    return key->Query(name);
  }
  RegFileSettingsStore store() { return RegFileSettingsStore(*fs_, path_); }

  MemoryFileSystem memory_;
  PosixFileSystem posix_;
  FileSystem* fs_ = nullptr;
  std::string dir_, path_;
};

TEST_P(RegFileStoreTest, MissingFileOrSectionIsAMissingKey) {
  RegFileSettingsStore settings_store = store();
  FilterSettings settings(settings_store);
  EXPECT_EQ(settings_store.OpenKey(), nullptr);
  settings.SetBeepAtSpam(1);
  EXPECT_FALSE(fs_->FileExists(path_));

  const std::string other =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"BeepAtSpam\"=dword:1\n";
  Write(other);
  EXPECT_EQ(settings_store.OpenKey(), nullptr);
  EXPECT_EQ(settings.GetBeepAtSpam(), 0u);
  settings.SetBeepAtSpam(1);
  settings.SetNotSpamFolderName("Ham");
  EXPECT_EQ(Read(), other);

  // A key opened before the file went away can no longer be written.
  Write(std::string("REGEDIT4\n\n") + kSection + "\n\"BeepAtSpam\"=dword:00000001\n");
  std::unique_ptr<SettingsKey> key = settings_store.OpenKey();
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->Query("BeepAtSpam").has_value());
  if (GetParam() == Backend::kMemory) {
    memory_.files().erase(path_);
  } else {
    std::filesystem::remove(path_);
  }
  EXPECT_FALSE(key->Query("BeepAtSpam").has_value());
  key->Set("BeepAtSpam", {ValueType::kDword, std::string(4, '\0')});
  EXPECT_FALSE(fs_->FileExists(path_));
}

TEST_P(RegFileStoreTest, CreateKeyMakesTheFileOrAddsTheSection) {
  path_ = dir_ + "/deep/er/settings.reg";  // the folders do not exist yet
  RegFileSettingsStore settings_store = store();
  ASSERT_TRUE(settings_store.CreateKey());
  const std::string created = std::string("REGEDIT4\n\n") + kSection + "\n";
  EXPECT_EQ(Read(), created);
  EXPECT_TRUE(settings_store.CreateKey());
  EXPECT_EQ(Read(), created);

  // The section is added to a file without it, in the file's own line ends,
  // after a line end missing from the last line.
  path_ = dir_ + "/other.reg";
  Write("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"X\"=dword:00000001");
  ASSERT_TRUE(store().CreateKey());
  EXPECT_EQ(Read(), std::string("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n") +
                        "\"X\"=dword:00000001\r\n\r\n" + kSection + "\r\n");
  RegFileSettingsStore other_store = store();
  FilterSettings settings(other_store);
  settings.SetLearnFromNotSpam(1);
  EXPECT_EQ(settings.GetLearnFromNotSpam(), 1u);
  EXPECT_EQ(Query("X"), std::nullopt);  // it belongs to the other section

  if (GetParam() == Backend::kMemory) {
    // A file that is there but cannot be read is not overwritten.
    memory_.FailReads(path_);
    const std::string before = memory_.files()[path_];
    EXPECT_FALSE(store().CreateKey());
    EXPECT_EQ(memory_.files()[path_], before);
  }
}

TEST_P(RegFileStoreTest, EveryFormRoundTripsThroughTheFile) {
  Write(std::string("REGEDIT4\n\n") + kSection + "\n");
  const std::string binary_100 = [] {
    std::string bytes;
    for (int i = 0; i < 100; ++i) bytes.push_back(static_cast<char>(i * 7));
    return bytes;
  }();
  const std::map<std::string, StoredValue> values = {
      {"Plain", {ValueType::kString, "C:\\dir \"q\"\ttab\nnl\rcr;[x]=@"}},
      {"Accent", {ValueType::kString, "caf\xE9 \x80 \x81\xFF"}},  // é, €, an undefined byte
      {"Empty", {ValueType::kString, ""}},
      {"Terminated", {ValueType::kString, std::string("a\0", 2)}},
      {"Control", {ValueType::kString, "a\x01"}},
      {"Dword", {ValueType::kDword, "\x2a\x00\x00\xf0"s}},
      {"LongDword", {ValueType::kDword, std::string("\x01\0\0\0\0", 5)}},
      {"Binary", {ValueType::kBinary, binary_100}},
      {"NoBytes", {ValueType::kBinary, ""}},
      {"Expand", {ValueType::kExpandString, "%HOME%"}},
      {"Multi", {ValueType::kMultiString, std::string("a\0b\0\0", 5)}},
      {"Qword", {ValueType::kQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)}},
      {"None", {ValueType::kNone, "z"}},
      {"Odd type", {static_cast<ValueType>(0x12345u), "\xff"}},
      {"Name \"with\" \\ quotes \xE9", {ValueType::kString, "n"}},
  };
  {
    std::unique_ptr<SettingsKey> key = store().OpenKey();
    ASSERT_NE(key, nullptr);
    for (const auto& [name, value] : values) key->Set(name, value);
  }
  for (const auto& [name, value] : values) {
    EXPECT_EQ(Query(name), value) << name;
  }

  const std::string file = Read();
  EXPECT_NE(file.find("\"Plain\"=\"C:\\\\dir \\\"q\\\"\\ttab\\nnl\\rcr;[x]=@\"\n"),
            std::string::npos);
  EXPECT_NE(file.find("\"Accent\"=\"caf\xC3\xA9 \xE2\x82\xAC \xC2\x81\xC3\xBF\"\n"),
            std::string::npos);
  EXPECT_NE(file.find("\"Terminated\"=hex(1):61,00\n"), std::string::npos);
  EXPECT_NE(file.find("\"Control\"=hex(1):61,01\n"), std::string::npos);
  EXPECT_NE(file.find("\"Dword\"=dword:f000002a\n"), std::string::npos);
  EXPECT_NE(file.find("\"LongDword\"=hex(4):01,00,00,00,00\n"), std::string::npos);
  EXPECT_NE(file.find("\"NoBytes\"=hex:\n"), std::string::npos);
  EXPECT_NE(file.find("\"Qword\"=hex(b):01,02,03,04,05,06,07,08\n"), std::string::npos);
  EXPECT_NE(file.find("\"Odd type\"=hex(12345):ff\n"), std::string::npos);
  EXPECT_NE(file.find("\"Name \\\"with\\\" \\\\ quotes \xC3\xA9\"=\"n\"\n"), std::string::npos);
  EXPECT_NE(file.find(",\\\n  "), std::string::npos);  // the 100 bytes are spread over lines
}

TEST_P(RegFileStoreTest, ReadsHandWrittenFilesLeniently) {
  Write(
      "\xEF\xBB\xBFREGEDIT4\r\n"
      "; a comment\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
      "\"Text\"=\"not ours\"\r\n"
      "[hkey_current_user\\software\\TARVEX]\r\n"
      "@=\"default\"\r\n"
      "  \"Text\" = \"one \\\\ \\q\"  ; trailing comment\r\n"
      "\"NUMBER\"=DWORD:1f\r\n"
      "\"Hex\"=hex:01, 02,\\\r\n"
      "   03,04\r\n"
      "\"Expand\"=hex(2):25,00\r\n"
      "\"Dup\"=dword:00000001\r\n"
      "\"dup\"=dword:00000002\r\n"
      "\"Bad1\"=dword:123456789\r\n"
      "\"Bad2\"=hex(zz):00\r\n"
      "\"Bad3\"=\"open\r\n"
      "\"Bad4\"=-\r\n"
      "\"Bad5\"=hex:0g\r\n"
      "\"Bad6\" dword:00000001\r\n"
      "\"Accent\"=\"\xC3\xA9\xE2\x82\xAC\xE4\xB8\x80\"\r\n");
  EXPECT_EQ(Query("Text"), (StoredValue{ValueType::kString, "one \\ \\q"}));
  EXPECT_EQ(Query("number"), (StoredValue{ValueType::kDword, std::string("\x1f\0\0\0", 4)}));
  EXPECT_EQ(Query("Hex"), (StoredValue{ValueType::kBinary, "\x01\x02\x03\x04"}));
  EXPECT_EQ(Query("Expand"), (StoredValue{ValueType::kExpandString, std::string("%\0", 2)}));
  EXPECT_EQ(Query("DUP"), (StoredValue{ValueType::kDword, std::string("\x02\0\0\0", 4)}));
  for (const char* bad : {"Bad1", "Bad2", "Bad3", "Bad4", "Bad5", "Bad6", "@", ""}) {
    EXPECT_EQ(Query(bad), std::nullopt) << bad;
  }
  // UTF-8 comes in as Windows-1252; what it lacks becomes "?".
  EXPECT_EQ(Query("Accent"), (StoredValue{ValueType::kString, "\xE9\x80?"}));

  // The primitives read through the same parsing.
  RegFileSettingsStore settings_store = store();
  EXPECT_EQ(ReadDwordValue(settings_store, "Dup"), 2u);
  EXPECT_EQ(ReadDwordValue(settings_store, "Hex"), 0x04030201u);
}

TEST_P(RegFileStoreTest, SetKeepsEverythingElseByteForByte) {
  const std::string before =
      "REGEDIT4\n"
      "; kept: [HKEY_CURRENT_USER\\Software\\Tarvex]\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\A]\n"
      "\"BeepAtSpam\"=dword:00000005\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Tarvex]\n"
      "\"beepatspam\"=hex(4):01,\\\n"
      "  00,00,00\n"
      "; about the paths\n"
      "\"WordFilePath\"=\"/w\"\n"
      "\"Broken\"=hex:01,\\\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\B]   \n"
      "\"x\"=\"y\"";
  Write(before);
  RegFileSettingsStore settings_store = store();
  FilterSettings settings(settings_store);
  EXPECT_EQ(settings.GetBeepAtSpam(), 1u);
  settings.SetBeepAtSpam(0);
  EXPECT_EQ(settings.GetBeepAtSpam(), 0u);
  settings.SetNotSpamFolderName("Ham \xE9");
  EXPECT_EQ(settings.GetNotSpamFolderName(), "Ham \xE9");
  EXPECT_EQ(Read(),
            "REGEDIT4\n"
            "; kept: [HKEY_CURRENT_USER\\Software\\Tarvex]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\A]\n"
            "\"BeepAtSpam\"=dword:00000005\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Tarvex]\n"
            "\"beepatspam\"=dword:00000000\n"
            "; about the paths\n"
            "\"WordFilePath\"=\"/w\"\n"
            "\"Broken\"=hex:01,\\\n"
            "\"NotSpamFolderName\"=\"Ham \xC3\xA9\"\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\B]   \n"
            "\"x\"=\"y\"");
  char buffer[260];
  ASSERT_TRUE(settings.GetWordFilePath(buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "/w");

  // Repeated lines for one name collapse into the last one; a value added to
  // the last section of a file without a final line end gets one.
  Write(std::string(kSection) + "\n\"A\"=\"1\"\n\"a\"=\"2\"\n\"B\"=\"3\"");
  WriteStringValue(settings_store, "A", "4");
  WriteStringValue(settings_store, "C", "5");
  EXPECT_EQ(Read(), std::string(kSection) + "\n\"a\"=\"4\"\n\"B\"=\"3\"\n\"C\"=\"5\"\n");
}

TEST_P(RegFileStoreTest, GarbageAndTruncatedFilesAreSurvived) {
  const std::string good = std::string("REGEDIT4\n\n") + kSection +
                           "\n\"WordFilePath\"=\"/words.db\"\n\"Bin\"=hex:01,02,03,04,05,06\n"
                           "\"BeepAtSpam\"=dword:00000001\n";
  std::vector<std::string> files;
  // Real files are synced on every write, so they get a sample of the cases.
  const bool in_memory = GetParam() == Backend::kMemory;
  const size_t step = in_memory ? 1 : 5;
  for (size_t length = 0; length <= good.size(); length += step) {
    files.push_back(good.substr(0, length));
  }
  for (const char* tail : {"\"A\"=hex:01,\\", "\"A\"=hex(", "\"A\"=\"\\", "\"A\"=dword:"}) {
    files.push_back(std::string(kSection) + "\n" + tail);
  }
  std::mt19937 random(7);
  const std::vector<std::string> pieces = {"\"", "=", "\\",     "\n", "\r\n", "hex:", "hex(",
                                           ")",  ",", "dword:", "ff", "0",    ";",    "[",
                                           "]",  " ", kSection, "@",  "A",    "\xC3", "\0"s};
  for (int i = 0; i < (in_memory ? 300 : 20); ++i) {
    files.push_back(std::string(kSection) + "\n");
    for (int j = 0; j < 40; ++j) files.back() += pieces[random() % pieces.size()];
  }

  RegFileSettingsStore settings_store = store();
  FilterSettings settings(settings_store);
  for (const std::string& file : files) {
    Write(file);
    SCOPED_TRACE(file);
    char buffer[260];
    settings.GetWordFilePath(buffer, sizeof buffer);
    settings.GetBeepAtSpam();
    ReadDwordValue(settings_store, "A");
    if (!settings_store.OpenKey()) continue;
    // Whatever the file held, a value set into it can be read back.
    WriteStringValue(settings_store, "A", "new");
    settings.SetBeepAtSpam(9);
    EXPECT_TRUE(ReadStringValue(settings_store, "A", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "new");
    EXPECT_EQ(settings.GetBeepAtSpam(), 9u);
  }
  // A list whose continuation line is missing is not read at all, and the
  // value after it is not taken for its continuation.
  Write(std::string(kSection) + "\n\"Bin\"=hex:01,02,\\\n\"WordFilePath\"=\"/words.db\"\n");
  EXPECT_EQ(Query("Bin"), std::nullopt);
  EXPECT_EQ(Query("WordFilePath"), (StoredValue{ValueType::kString, "/words.db"}));
}

TEST_P(RegFileStoreTest, ChangesByAnotherWriterAreSeen) {
  Write(std::string("REGEDIT4\n\n") + kSection + "\n\"LearnFromMarkSpam\"=dword:00000001\n");
  RegFileSettingsStore settings_store = store();
  FilterSettings settings(settings_store);
  std::unique_ptr<SettingsKey> key = settings_store.OpenKey();
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(settings.GetLearnFromMarkSpam(), 1u);
  EXPECT_EQ(key->Query("LearnFromMarkSpam")->data, std::string("\x01\0\0\0", 4));

  // Another process (here: a second store over the same file) changes it.
  RegFileSettingsStore other = store();
  WriteDwordValue(other, "LearnFromMarkSpam", 0);
  EXPECT_EQ(settings.GetLearnFromMarkSpam(), 0u);
  EXPECT_EQ(key->Query("LearnFromMarkSpam")->data, std::string(4, '\0'));

  // An editor rewrites the file in its own way.
  Write(std::string(kSection) +
        "\r\n\"learnfrommarkspam\"=hex(4):07,00\r\n\"NotSpamFolderName\"=\"Ok\"");
  EXPECT_EQ(settings.GetLearnFromMarkSpam(), 7u);
  EXPECT_EQ(settings.GetNotSpamFolderName(), "Ok");
  EXPECT_EQ(key->Query("LearnFromMarkSpam")->type, ValueType::kDword);

  // ... or takes the section away.
  Write("REGEDIT4\n");
  EXPECT_EQ(key->Query("LearnFromMarkSpam"), std::nullopt);
  EXPECT_EQ(settings.GetNotSpamFolderName(), "");
}

INSTANTIATE_TEST_SUITE_P(Backends, RegFileStoreTest,
                         ::testing::Values(Backend::kMemory, Backend::kPosix),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return info.param == Backend::kMemory ? "Memory" : "Posix";
                         });

TEST(DefaultSettingsPathTest, PrefersTheExplicitFileThenXdgThenHome) {
  std::map<std::string, std::string> env;
  auto getenv = [&env](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  env["HOME"] = "/home/u";
  EXPECT_EQ(DefaultSettingsPath(getenv), "/home/u/.config/tarvex/settings.reg");
  env["XDG_CONFIG_HOME"] = "";
  EXPECT_EQ(DefaultSettingsPath(getenv), "/home/u/.config/tarvex/settings.reg");
  env["XDG_CONFIG_HOME"] = "/cfg";
  EXPECT_EQ(DefaultSettingsPath(getenv), "/cfg/tarvex/settings.reg");
  env["TARVEX_CONFIG"] = "";
  EXPECT_EQ(DefaultSettingsPath(getenv), "/cfg/tarvex/settings.reg");
  env["TARVEX_CONFIG"] = "/etc/t.reg";
  EXPECT_EQ(DefaultSettingsPath(getenv), "/etc/t.reg");
}

}  // namespace
}  // namespace tarvex
