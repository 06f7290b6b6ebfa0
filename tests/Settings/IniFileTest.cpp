// SPDX-License-Identifier: MIT
// The settings file format: reading as the Windows profile functions do, writing
// that changes one line and keeps every other byte, and replacement all at once.
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "Settings/IniFile.h"
#include "Support/TestHelpers.h"
#include "System/IdException.h"

namespace fs = std::filesystem;

using KestrineTest::ReadFile;
using KestrineTest::WriteFile;

namespace {

// Runs body in a child process: 0 passed, 1 failed, 2 not possible here.
int InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

class IniFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrine-ini-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Folder = pattern;
    Path = Folder + "/settings.ini";
  }
  void TearDown() override { fs::remove_all(Folder); }

  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder)) names.push_back(entry.path().filename().string());
    return names;
  }

  std::string Folder;
  std::string Path;
};

TEST_F(IniFileTest, ReadsValuesAsTheProfileFunctionsDo) {
  const struct {
    const char* Contents;
    const char* Section;
    const char* Key;
    const char* Expected;
  } cases[] = {
      {"[Common]\nKey=v\n", "common", "KEY", "v"},
      {"[ Common ]\n  key  =  spaced value  \n", "Common", "key", "spaced value"},
      {"[Common]\n\tkey\t=\tv\t\n", "Common", "key", "v"},
      {"[Common]\r\nkey=crlf\r\n", "Common", "key", "crlf"},
      {"\xEF\xBB\xBF[Common]\nkey=bom\n", "Common", "key", "bom"},
      {"[Common]\nkey=\"quoted \"\n", "Common", "key", "quoted "},
      {"[Common]\nkey='single'\n", "Common", "key", "single"},
      {"[Common]\nkey=\"mismatched'\n", "Common", "key", "\"mismatched'"},
      {"[Common]\nkey=\"\n", "Common", "key", "\""},
      {"[Common]\nkey=v ; not a comment\n", "Common", "key", "v ; not a comment"},
      {"[Common]\nkey=a=b\n", "Common", "key", "a=b"},
      {"[Common]\nkey=\n", "Common", "key", ""},
      {"[Common]\n;key=comment\n#key=hash\nno equals sign\nkey=real\n", "Common", "key", "real"},
      {"[Common]\n;key=comment\n", "Common", "key", "default"},
      {"key=before any section\n[Common]\n", "Common", "key", "default"},
      {"[Other]\nkey=other\n[Common]\nx=1\n", "Common", "key", "default"},
      {"[Common]\nkey=first\nkey=second\n", "Common", "key", "first"},
      {"[Common]\nkey=1\n[COMMON]\nlater=2\n", "Common", "later", "default"},
      {"[Common]\nkey=no line end", "Common", "key", "no line end"},
      {"", "Common", "key", "default"},
  };
  for (const auto& c : cases) {
    WriteFile(Path, c.Contents);
    EXPECT_EQ(TIniFile(Path).ReadString(c.Section, c.Key, "default"), c.Expected) << c.Contents;
  }
}

TEST_F(IniFileTest, AMissingUnreadableOrGarbageFileGivesTheDefault) {
  EXPECT_EQ(TIniFile(Path).ReadString("Common", "key", "default"), "default");
  EXPECT_EQ(TIniFile(Folder + "/no/such/folder/settings.ini").ReadString("Common", "key", "default"), "default");
  fs::create_directory(Path);  // exists, cannot be read as a file
  EXPECT_EQ(TIniFile(Path).ReadString("Common", "key", "default"), "default");
  fs::remove(Path);

  std::mt19937 random(6);
  std::string garbage(100000, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  WriteFile(Path, garbage);
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("Common", "key", "default"), "default");
  ini.WriteString("Common", "key", "v");
  EXPECT_EQ(ReadFile(Path).substr(0, garbage.size()), garbage) << "the garbage stays as it was";
  EXPECT_EQ(ini.ReadString("Common", "key", "default"), "v");
}

TEST_F(IniFileTest, AValueIsReadUpTo2047Characters) {
  for (const std::size_t length : {2047u, 2048u, 5000u}) {
    WriteFile(Path, "[Common]\nkey=" + std::string(length, 'v') + "\n");
    EXPECT_EQ(TIniFile(Path).ReadString("Common", "key", ""), std::string(2047, 'v')) << length;
  }
}

TEST_F(IniFileTest, WritingChangesOneLineAndKeepsEveryOtherByte) {
  const struct {
    const char* Before;
    const char* Key;
    const char* Value;
    const char* After;
  } cases[] = {
      // An existing key is rewritten in its place, whatever its case and blanks.
      {"; top\n[Other]\nk=1\n\n[Common]\n  K = old ; c\nx=2\n", "k", "new",
       "; top\n[Other]\nk=1\n\n[Common]\nk=new\nx=2\n"},
      {"[COMMON]\nA=1\nA=dup\n", "a", "2", "[COMMON]\na=2\nA=dup\n"},
      // A new key follows the section's last key; CRLF files stay CRLF.
      {"[Common]\r\na=1\r\n\r\n[Next]\r\nb=2\r\n", "c", "3", "[Common]\r\na=1\r\nc=3\r\n\r\n[Next]\r\nb=2\r\n"},
      {"[Common]\n;a=comment\n", "a", "3", "[Common]\na=3\n;a=comment\n"},
      {"[Common]", "a", "b", "[Common]\na=b\n"},
      // A new section goes to the end.
      {"[Other]\nk=1", "a", "b", "[Other]\nk=1\n[Common]\na=b\n"},
      {"[Other]\r\nk=1\r\n", "a", "b", "[Other]\r\nk=1\r\n[Common]\r\na=b\r\n"},
      {"\xEF\xBB\xBF[Common]\na=1\n", "a", "2", "\xEF\xBB\xBF[Common]\na=2\n"},
      // A line break in a value would split the line.
      {"[Common]\n", "a", "one\ntwo\r", "[Common]\na=one two \n"},
      // A CR that ends the file belongs to its line and stays so: a bare line break
      // after it would turn "[Other\r" into the section "Other".
      {"[Other\r", "a", "b", "[Other\r\r\n[Common]\na=b\n"},
      {"[Common]\na=1\r", "b", "2", "[Common]\na=1\r\r\nb=2\n"},
  };
  for (const auto& c : cases) {
    WriteFile(Path, c.Before);
    TIniFile(Path).WriteString("Common", c.Key, c.Value);
    EXPECT_EQ(ReadFile(Path), c.After) << c.Before;
  }
}

TEST_F(IniFileTest, WritingCreatesTheFolderAndTheFileAndKeepsModeAndLinks) {
  const std::string path = Folder + "/new/sub/settings.ini";
  TIniFile ini(path);
  ini.WriteString("Common", "a", "1");
  ini.WriteString("Common", "b", "2");
  ini.Flush();
  EXPECT_EQ(ReadFile(path), "[Common]\na=1\nb=2\n");

  WriteFile(Folder + "/target.ini", "[Common]\na=1\n");
  chmod((Folder + "/target.ini").c_str(), 0640);
  fs::create_symlink("target.ini", Path);
  TIniFile(Path).WriteString("Common", "a", "2");
  EXPECT_TRUE(fs::is_symlink(Path));
  EXPECT_EQ(ReadFile(Folder + "/target.ini"), "[Common]\na=2\n");
  struct stat status {};
  ASSERT_EQ(stat((Folder + "/target.ini").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST_F(IniFileTest, AFailedWriteRaisesAndLeavesTheOldFileWhole) {
  // Root writes anywhere: a folder that cannot exist (under a file) and a file
  // that is a folder make the write fail all the same.
  WriteFile(Folder + "/file", "");
  const std::string underFile = Folder + "/file/settings.ini";
  try {
    TIniFile(underFile).WriteString("Common", "a", "1");
    ADD_FAILURE() << "no failure raised";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), "Unable to write to " + underFile);
  }
  fs::create_directory(Path);
  EXPECT_THROW(TIniFile(Path).WriteString("Common", "a", "1"), Exception);
  EXPECT_TRUE(fs::is_directory(Path));
  TIniFile(underFile).Flush();  // reports nothing
}

TEST_F(IniFileTest, AWriteThatFailsHalfwayLeavesTheOldFileWholeAndNoTemporaryFile) {
  const std::string old = "[Common]\na=1\nb=2\n";
  WriteFile(Path, old);
  // A file size limit stops the new contents after 100 bytes, as a full disk would.
  const int result = InChild([this] {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 100;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    try {
      TIniFile(Path).WriteString("Common", "big", std::string(5000, 'x'));
      return 1;
    } catch (const Exception& error) {
      return error.Message() == "Unable to write to " + Path ? 0 : 1;
    }
  });
  ASSERT_NE(result, 2) << "no file size limit here";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(Path), old);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"settings.ini"});
}

TEST_F(IniFileTest, AReadOnlyFolderLeavesTheOldFileWhole) {
  const std::string old = "[Common]\na=1\n";
  WriteFile(Path, old);
  // A read-only bind mount of the folder in a mount namespace of the child's own:
  // the one refusal that holds for root too.
  const int result = InChild([this, &old] {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 2;
    struct statvfs status {};
    if (statvfs(Folder.c_str(), &status) != 0) return 2;
    unsigned long locked = 0;  // flags a namespace's root may not drop
    const unsigned long flags[][2] = {{ST_NOSUID, MS_NOSUID},         {ST_NODEV, MS_NODEV},
                                      {ST_NOEXEC, MS_NOEXEC},         {ST_NOATIME, MS_NOATIME},
                                      {ST_NODIRATIME, MS_NODIRATIME}, {ST_RELATIME, MS_RELATIME}};
    for (const auto& flag : flags)
      if (status.f_flag & flag[0]) locked |= flag[1];
    if (mount(Folder.c_str(), Folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, Folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | locked, nullptr) != 0)
      return 2;
    try {
      TIniFile(Path).WriteString("Common", "a", "2");
      return 1;
    } catch (const Exception&) {
      return ReadFile(Path) == old ? 0 : 1;
    }
  });
  if (result == 2) GTEST_SKIP() << "no mount namespace here";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(Path), old);
}

}  // namespace
