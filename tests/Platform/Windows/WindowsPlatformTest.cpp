// SPDX-License-Identifier: MIT
// The Windows OS seams tried for real. Under Wine (scripts/test.sh) the registry
// is that of a temporary prefix and the host clock cannot be changed; on a real
// Windows machine the tests leave the Run value as they found it and never set
// the clock.
#include <winsock2.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Autostart.h"
#include "Platform/Clock.h"
#include "Platform/ExePath.h"
#include "Platform/Files.h"
#include "Platform/QuitSignal.h"
#include "Platform/ThreadName.h"
#include "Platform/Ticks.h"
#include "Platform/TimeChange.h"
#include "Platform/WakeEvent.h"
#include "Platform/Windows/Instant.h"
#include "Platform/Windows/SystemMessage.h"
#include "Platform/Windows/Utf8.h"
#include "System/IdGlobal.h"

namespace {

using namespace std::chrono_literals;

// 100-ns units since 1601, as Windows counts.
std::int64_t FileTimeOf(const SYSTEMTIME& time) {
  FILETIME file{};
  SystemTimeToFileTime(&time, &file);
  return static_cast<std::int64_t>(file.dwHighDateTime) << 32 | file.dwLowDateTime;
}

std::int64_t SystemTimeNow() {
  FILETIME file{};
  GetSystemTimeAsFileTime(&file);
  return static_cast<std::int64_t>(file.dwHighDateTime) << 32 | file.dwLowDateTime;
}

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

bool EndsTrimmed(const std::string& text) {
  return !text.empty() && text.back() != '.' && text.back() != ' ' && text.back() != '\n' && text.back() != '\r';
}

TEST(UtcBiasTest, IsTheBiasWindowsConvertsWith) {
  // UTC minus local time as Windows converts its own clock, in whole minutes.
  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  const double windowsMinutes = std::round(static_cast<double>(FileTimeOf(utc) - FileTimeOf(local)) / 600000000.0);
  const char* zone = std::getenv("TZ");
  SCOPED_TRACE(std::string("TZ=") + (zone ? zone : "(unset)"));
  const double minutes = UtcBias() * 1440.0;
  EXPECT_NEAR(minutes, windowsMinutes, 1e-6);
  const char* expected = std::getenv("KESTRINE_EXPECT_BIAS_MINUTES");
  if (expected != nullptr && expected[0] != '\0') {
    EXPECT_NEAR(minutes, std::atof(expected), 1e-6);
  }
}

bool IsUtf8(const std::string& text) {
  return text.empty() ||
         MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0) > 0;
}

TEST(SystemMessageTest, IsTheSystemsTextWithoutItsEnding) {
  for (const DWORD code : {ERROR_ACCESS_DENIED, ERROR_PRIVILEGE_NOT_HELD, ERROR_INVALID_PARAMETER}) {
    const std::string text = Platform::SystemMessageText(code);
    EXPECT_TRUE(EndsTrimmed(text)) << code << ": \"" << text << '"';
    EXPECT_TRUE(IsUtf8(text)) << code;
  }
  EXPECT_EQ(Platform::SystemMessageText(0x2000FFFF), "");  // no text for it
}

// The texts the system gives in UTF-16 reach the program as UTF-8, whatever the
// ANSI code page, in which the "A" call would give them. This folder's CMakeLists.txt
// runs this with Russian messages.
TEST(SystemMessageTest, ATranslatedTextKeepsItsLettersInUtf8) {
  wchar_t buffer[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      ERROR_ACCESS_DENIED, 0, buffer, 512, nullptr);
  std::wstring expected(buffer, length);
  while (!expected.empty() && (expected.back() == L'.' || expected.back() == L' ' || expected.back() <= L'\r'))
    expected.pop_back();
  if (std::all_of(expected.begin(), expected.end(), [](wchar_t c) { return c < 0x80; }))
    GTEST_SKIP() << "the system's messages are in plain ASCII here";
  const std::string text = Platform::SystemMessageText(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(IsUtf8(text));
  EXPECT_TRUE(Platform::WideFromUtf8(text) == expected) << text;
}

TEST(Utf8Test, EveryLetterSurvivesTheWayThereAndBack) {
  struct Case {
    const wchar_t* Wide;
    const char* Utf8;
  };
  const Case cases[] = {{L"", ""},
                        {L"Kestrine", "Kestrine"},
                        {L"Zugriff verweigert: \u00C4 \u00F6 \u00DF", "Zugriff verweigert: \xC3\x84 \xC3\xB6 \xC3\x9F"},
                        {L"\u6642\u8A08", "\xE6\x99\x82\xE8\xA8\x88"},
                        {L"\U0001F570", "\xF0\x9F\x95\xB0"}};  // outside the 16-bit range: a surrogate pair
  for (const Case& c : cases) {
    EXPECT_EQ(Platform::Utf8FromWide(c.Wide), c.Utf8);
    EXPECT_TRUE(Platform::WideFromUtf8(c.Utf8) == c.Wide) << c.Utf8;
  }
  // A lone half of a surrogate pair and a stray byte become U+FFFD.
  EXPECT_EQ(Platform::Utf8FromWide(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_TRUE(Platform::WideFromUtf8("a\xFF") == L"a\uFFFD");
}

TEST(TicksTest, CountMillisecondsWithTheSystem) {
  const std::uint32_t start = Platform::ReadTickCountMs();
  const ULONGLONG systemStart = GetTickCount64();
  Sleep(50);
  const std::uint32_t span = TickSpan(start, Platform::ReadTickCountMs());
  const auto systemSpan = static_cast<std::uint32_t>(GetTickCount64() - systemStart);
  EXPECT_GE(span, 45u);
  EXPECT_LT(span, 5000u);
  EXPECT_NEAR(static_cast<double>(span), static_cast<double>(systemSpan), 50.0);
}

TEST(ClockTest, ReadsTheLocalTimeWindowsShows) {
  SYSTEMTIME shown{};
  GetLocalTime(&shown);
  const auto read = Platform::SystemClock().ReadLocal();
  SYSTEMTIME ours{};
  ours.wYear = static_cast<WORD>(read.Year);
  ours.wMonth = static_cast<WORD>(read.Month);
  ours.wDay = static_cast<WORD>(read.Day);
  ours.wHour = static_cast<WORD>(read.Hour);
  ours.wMinute = static_cast<WORD>(read.Minute);
  ours.wSecond = static_cast<WORD>(read.Second);
  ours.wMilliseconds = static_cast<WORD>(read.Millisecond);
  EXPECT_LT(std::llabs(FileTimeOf(ours) - FileTimeOf(shown)), 10000000LL);  // within a second
  EXPECT_EQ(read.DayOfWeek, shown.wDayOfWeek);
}

TEST(ClockTest, ReadsTheInstantWindowsKeeps) {
  const std::int64_t windows = SystemTimeNow();
  const Platform::TInstantMs read = Platform::SystemClock().ReadInstant();
  // Within 100 ms: the plain system time may lag the precise one by a tick.
  EXPECT_NEAR(static_cast<double>(Platform::FileTimeOfInstant(read)), static_cast<double>(windows), 1e6);
}

TEST(ClockTest, InstantsAreWindowsFileTimesInUtc) {
  struct Case {
    Platform::TInstantMs Instant;
    WORD Year, Month, Day, Hour, Minute, Second, Milliseconds;
  };
  // The second is 01:00 UTC on the day Europe leaves summer time: UTC knows no repeated hour.
  for (const Case c : {Case{0, 1970, 1, 1, 0, 0, 0, 0}, Case{1729990800250, 2024, 10, 27, 1, 0, 0, 250},
                       Case{-1, 1969, 12, 31, 23, 59, 59, 999}, Case{951782400000, 2000, 2, 29, 0, 0, 0, 0}}) {
    SCOPED_TRACE(c.Instant);
    const std::int64_t fileTime = Platform::FileTimeOfInstant(c.Instant);
    const FILETIME file{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    SYSTEMTIME utc{};
    ASSERT_TRUE(FileTimeToSystemTime(&file, &utc));
    EXPECT_EQ(utc.wYear, c.Year);
    EXPECT_EQ(utc.wMonth, c.Month);
    EXPECT_EQ(utc.wDay, c.Day);
    EXPECT_EQ(utc.wHour, c.Hour);
    EXPECT_EQ(utc.wMinute, c.Minute);
    EXPECT_EQ(utc.wSecond, c.Second);
    EXPECT_EQ(utc.wMilliseconds, c.Milliseconds);
    EXPECT_EQ(Platform::InstantOfFileTime(FileTimeOf(utc)), c.Instant);
  }
  EXPECT_EQ(Platform::InstantOfFileTime(Platform::FileTimeOfUnixEpoch - 1), -1);  // rounded down
}

TEST(ClockTest, SettingTheClockUnderWineNeverMovesIt) {
  if (!UnderWine()) GTEST_SKIP() << "this would set the real clock";
  auto& clock = Platform::SystemClock();
  for (const std::int64_t seconds : {0, 86400}) {
    SCOPED_TRACE(seconds);
    const auto before = SystemTimeNow();
    const auto steadyBefore = std::chrono::steady_clock::now();
    const auto result = clock.SetInstant(clock.ReadInstant() + seconds * 1000);
    std::printf("SetSystemTime %+lld s: %d \"%s\"\n", static_cast<long long>(seconds), result.ErrorCode,
                result.ErrorText.c_str());
    // Wine accepts the clock's own reading and refuses any real step.
    if (seconds != 0) {
      EXPECT_NE(result.ErrorCode, 0);
    }
    if (result.ErrorCode != 0) {
      EXPECT_EQ(result.ErrorText, Platform::SystemMessageText(static_cast<DWORD>(result.ErrorCode)));
      EXPECT_TRUE(EndsTrimmed(result.ErrorText)) << result.ErrorText;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
                             std::chrono::steady_clock::now() - steadyBefore)
                             .count();
    EXPECT_LT(std::llabs(SystemTimeNow() - before - elapsed), 20000000LL) << "the clock moved";
  }
}

// Run as a copy under a name with letters outside any ANSI code page, by the
// test below: writes the path it finds into the file KESTRINE_EXEPATH_OUT names.
TEST(ExePathTest, DISABLED_WritesItsPathForTheParent) {
  wchar_t out[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableW(L"KESTRINE_EXEPATH_OUT", out, MAX_PATH), 0u);
  ASSERT_TRUE(Platform::ReplaceFileContents(Platform::Utf8FromWide(out), Platform::ExecutablePath()));
}

TEST(ExePathTest, IsUtf8WhateverLettersThePathHolds) {
  wchar_t self[MAX_PATH], temp[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring folder = std::wstring(temp) + L"kestrine-\u00C4\u00F6-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring copy = folder + L"\\Zeitgeber-\u00E9\u6642\u8A08.exe";
  const std::wstring out = folder + L"\\path.txt";
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
  SetEnvironmentVariableW(L"KESTRINE_EXEPATH_OUT", out.c_str());
  std::wstring command = L"\"" + copy +
                         L"\" --gtest_also_run_disabled_tests"
                         L" --gtest_filter=ExePathTest.DISABLED_WritesItsPathForTheParent";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const bool started =
      CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableW(L"KESTRINE_EXEPATH_OUT", nullptr);
  ASSERT_TRUE(started) << GetLastError();
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(exitCode, 0u);
  std::string path;
  EXPECT_EQ(Platform::ReadFileContents(Platform::Utf8FromWide(out), path), Platform::TFileRead::Read);
  std::filesystem::remove_all(folder);
  // The name as UTF-8 bytes, written out here rather than converted.
  const std::string name = "\\Zeitgeber-\xC3\xA9\xE6\x99\x82\xE8\xA8\x88.exe";
  ASSERT_GT(path.size(), name.size()) << path;
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
  EXPECT_NE(path.find("kestrine-\xC3\x84\xC3\xB6-"), std::string::npos) << path;
}

TEST(ExePathTest, NamesThisProgramsFile) {
  const std::string path = Platform::ExecutablePath();
  const std::string name = "\\WindowsPlatformTests.exe";
  ASSERT_GT(path.size(), name.size());
  EXPECT_EQ(
      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str() + path.size() - name.size(), -1, name.c_str(), -1),
      CSTR_EQUAL)
      << path;
  EXPECT_TRUE(Platform::IsRegularFile(path));
}

TEST(ThreadNameTest, IsTheThreadsDescription) {
  using TGetThreadDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const auto getDescription = reinterpret_cast<TGetThreadDescription>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  if (getDescription == nullptr) GTEST_SKIP() << "no thread descriptions on this system";
  std::wstring seen;
  std::thread([&] {
    Platform::SetCurrentThreadName("IdThread (unknown)");
    PWSTR description = nullptr;
    if (SUCCEEDED(getDescription(GetCurrentThread(), &description)) && description != nullptr) {
      seen = description;
      LocalFree(description);
    }
  }).join();
  EXPECT_TRUE(seen == L"IdThread (unknown)");
}

TEST(WakeEventTest, ASignalFromAnyThreadMakesItReadableUntilCleared) {
  Platform::TWakeEvent wake;
  ASSERT_GE(wake.Handle(), 0);
  const auto readable = [&](int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(wake.Handle()), &set);
    timeval limit{0, ms * 1000};
    return select(0, &set, nullptr, nullptr, &limit) == 1;
  };
  EXPECT_FALSE(readable(0));
  std::thread([&] {
    wake.Signal();
    wake.Signal();
  }).join();
  EXPECT_TRUE(readable(500));
  wake.Clear();
  EXPECT_FALSE(readable(50));
  wake.Signal();
  EXPECT_TRUE(readable(500));
}

TEST(NoticeTest, ClockChangesAndQuitRequestsComeToTheWindowInstead) {
  Platform::TTimeChangeWatch timeChange;
  EXPECT_EQ(timeChange.Handle(), -1);
  EXPECT_NE(timeChange.ErrorText().find("WM_TIMECHANGE"), std::string::npos) << timeChange.ErrorText();
  EXPECT_TRUE(timeChange.IsArmed());
  EXPECT_FALSE(timeChange.Acknowledge());
  EXPECT_TRUE(timeChange.IsArmed());
  // The test switch fails arming here too, so a caller's report can be tried on either system.
  Platform::TTimeChangeWatch::FailArmingForTests(true);
  EXPECT_FALSE(timeChange.Acknowledge());
  EXPECT_FALSE(timeChange.IsArmed());
  EXPECT_FALSE(timeChange.Rearm());
  Platform::TTimeChangeWatch::FailArmingForTests(false);
  EXPECT_TRUE(timeChange.Rearm());
  EXPECT_TRUE(timeChange.IsArmed());
  Platform::TQuitSignalWatch quit;
  EXPECT_EQ(quit.Handle(), -1);
  EXPECT_FALSE(quit.ErrorText().empty());
  EXPECT_FALSE(quit.Acknowledge());
}

class AutostartTest : public testing::Test {
protected:
  static constexpr const char* KeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  static constexpr const char* ValueName = "VantorTimeSync";

  struct TValue {
    DWORD Type = 0;
    std::string Data;
  };

  // A real installation's value is put back afterwards.
  void SetUp() override { FSaved = ReadValue(); }
  void TearDown() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    if (FSaved)
      RegSetValueExA(key, ValueName, 0, FSaved->Type, reinterpret_cast<const BYTE*>(FSaved->Data.data()),
                     static_cast<DWORD>(FSaved->Data.size()));
    else
      RegDeleteValueA(key, ValueName);
    RegCloseKey(key);
  }

  static std::optional<TValue> ReadValue(HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, KeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    TValue value;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, ValueName, nullptr, &value.Type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
      value.Data.resize(size);
      auto* data = reinterpret_cast<BYTE*>(value.Data.data());
      result = RegQueryValueExA(key, ValueName, nullptr, &value.Type, data, &size);
      value.Data.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::optional<TValue>(value) : std::nullopt;
  }

  static bool MayWriteRunKey() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  std::optional<TValue> FSaved;
};

TEST_F(AutostartTest, TheRunValueHoldsTheProgramsPathWithItsZeroAndIsDeleted) {
  std::string folder;
  const auto written =
      Platform::WriteAutostartEntry(ValueName, "Kestrine", "C:\\Program Files\\Kestrine\\kestrine.exe", folder);
  EXPECT_EQ(folder, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\");
  if (!MayWriteRunKey()) {
    // Without the right to write there: the key "could not be created".
    EXPECT_EQ(written, Platform::TAutostartWrite::FolderNotCreated);
    return;
  }
  ASSERT_EQ(written, Platform::TAutostartWrite::Written);
  auto value = ReadValue();
  ASSERT_TRUE(value);
  EXPECT_EQ(value->Type, static_cast<DWORD>(REG_SZ));
  // Quoted, as the path holds a blank: else Windows may start C:\Program.exe.
  EXPECT_EQ(value->Data, std::string("\"C:\\Program Files\\Kestrine\\kestrine.exe\"") + '\0');

  // A program that moved writes its new path over the old one.
  EXPECT_EQ(Platform::WriteAutostartEntry(ValueName, "Kestrine", "D:\\kestrine.exe", folder),
            Platform::TAutostartWrite::Written);
  value = ReadValue();
  ASSERT_TRUE(value);
  EXPECT_EQ(value->Data, std::string("D:\\kestrine.exe") + '\0');

  Platform::DeleteAutostartEntry(ValueName);
  EXPECT_FALSE(ReadValue());
  Platform::DeleteAutostartEntry(ValueName);  // a missing value is no error
  EXPECT_FALSE(ReadValue());
}

// A standard user, or an administrator not elevated, may not write under
// HKEY_LOCAL_MACHINE: the value goes to the user's own Run key instead, and
// clearing the box removes it there.
TEST_F(AutostartTest, WhereTheMachinesKeyIsRefusedTheUsersKeyTakesTheValue) {
  // A machine hive whose Run key refuses this process any change, standing in for the real one.
  constexpr const char* Stand = "Software\\KestrineTest\\Machine";
  HKEY run = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(Stand) + "\\" + KeyPath).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &run, nullptr),
            ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR refusing = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(D;;0x6;;;WD)(A;;KR;;;WD)", SDDL_REVISION_1,
                                                                   &refusing, nullptr));
  RegSetKeySecurity(run, DACL_SECURITY_INFORMATION, refusing);
  LocalFree(refusing);
  RegCloseKey(run);
  HKEY readOnly = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Stand, 0, KEY_READ, &readOnly), ERROR_SUCCESS);
  HKEY probe = nullptr;
  if (RegCreateKeyExA(readOnly, KeyPath, 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &probe, nullptr) ==
      ERROR_SUCCESS) {
    RegCloseKey(probe);
    RegCloseKey(readOnly);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KestrineTest");
    GTEST_SKIP() << "this system lets the process write a key that refuses it";
  }
  ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, readOnly), ERROR_SUCCESS);
  std::string folder;
  const auto written = Platform::WriteAutostartEntry(ValueName, "Kestrine", "C:\\Kestrine\\Kestrine.exe", folder);
  const auto machine = ReadValue();
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  RegCloseKey(readOnly);
  EXPECT_EQ(written, Platform::TAutostartWrite::Written);
  EXPECT_FALSE(machine);
  auto user = ReadValue(HKEY_CURRENT_USER);
  ASSERT_TRUE(user);
  EXPECT_EQ(user->Data, std::string("C:\\Kestrine\\Kestrine.exe") + '\0');
  // Written to the machine's key again, the user's goes: one value, one start.
  if (MayWriteRunKey()) {
    EXPECT_EQ(Platform::WriteAutostartEntry(ValueName, "Kestrine", "C:\\Kestrine\\Kestrine.exe", folder),
              Platform::TAutostartWrite::Written);
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER));
  }
  Platform::DeleteAutostartEntry(ValueName);
  EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER));
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\KestrineTest");
}

// The installer's folder, as its uninstall entry names it, in any spelling.
TEST(InstalledProgramFolderTest, IsTheFolderTheUninstallEntryNames) {
  constexpr const wchar_t* Entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrine";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Entry, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    GTEST_SKIP() << "Kestrine is installed here; its entry is left alone";
  }
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Entry, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring location = L"C:\\Program Files\\Kestrine";
  RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(location.c_str()),
                 static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  EXPECT_TRUE(Platform::IsInstalledProgramFolder("C:\\Program Files\\Kestrine\\"));
  EXPECT_TRUE(Platform::IsInstalledProgramFolder("c:/program files/kestrine/"));
  EXPECT_FALSE(Platform::IsInstalledProgramFolder("C:\\Program Files\\Kestrine\\Portable\\"));
  EXPECT_FALSE(Platform::IsInstalledProgramFolder("D:\\Kestrine\\"));
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, Entry);
  EXPECT_FALSE(Platform::IsInstalledProgramFolder("C:\\Program Files\\Kestrine\\"));
}

TEST(UserConfigFolderTest, IsTheRoamingApplicationDataFolder) {
  const char* appData = std::getenv("APPDATA");
  ASSERT_NE(appData, nullptr);
  EXPECT_EQ(Platform::UserConfigFolder(), appData);
  EXPECT_TRUE(Platform::IsWritableFolder(Platform::UserConfigFolder()));
  // The shell knows it without the environment.
  const std::wstring saved = Platform::WideFromUtf8(appData);
  SetEnvironmentVariableW(L"APPDATA", nullptr);
  const std::string withoutVariable = Platform::UserConfigFolder();
  SetEnvironmentVariableW(L"APPDATA", saved.c_str());
  EXPECT_EQ(withoutVariable, appData);
}

class FilesTest : public testing::Test {
protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    Folder = std::string(temp) + "kestrine-files-" + std::to_string(GetCurrentProcessId());
    std::filesystem::remove_all(Folder);
    ASSERT_TRUE(CreateDirectoryA(Folder.c_str(), nullptr));
  }
  void TearDown() override { std::filesystem::remove_all(Folder); }

  std::size_t FileCount() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(Folder), {}));
  }

  std::string Folder;
};

TEST_F(FilesTest, ReplacesAFileWholeAndReadsItBack) {
  const std::string path = Folder + "\\settings.ini";
  std::string contents = "stale";
  EXPECT_EQ(Platform::ReadFileContents(path, contents), Platform::TFileRead::Missing);
  EXPECT_EQ(contents, "");
  EXPECT_EQ(Platform::ReadFileContents(Folder + "\\no\\such.ini", contents), Platform::TFileRead::Missing);
  EXPECT_EQ(Platform::ReadFileContents(Folder, contents), Platform::TFileRead::Failed);
  EXPECT_FALSE(Platform::IsRegularFile(path));

  const std::string texts[] = {"[Common]\r\nbNISTServer=-1\r\n", "", std::string(200000, 'x')};
  for (const std::string& text : texts) {
    ASSERT_TRUE(Platform::ReplaceFileContents(path, text));
    Platform::SyncFolderOf(path);
    EXPECT_EQ(Platform::ReadFileContents(path, contents), Platform::TFileRead::Read);
    EXPECT_EQ(contents, text);
    EXPECT_EQ(FileCount(), 1u) << "a temporary file was left behind";
  }
  EXPECT_TRUE(Platform::IsRegularFile(path));
  EXPECT_FALSE(Platform::IsRegularFile(Folder));
  EXPECT_FALSE(Platform::ReplaceFileContents(Folder + "\\missing\\settings.ini", "x"));
}

// Paths are UTF-8 in the program: a folder named with letters outside the ANSI
// code page (as a user's name may be) works as any other.
TEST_F(FilesTest, PathsAreUtf8) {
  const std::wstring wideFolder = Platform::WideFromUtf8(Folder) + L"\\K\u00E4stner-\u6642\u8A08";
  const std::string folder = Folder + "\\K\xC3\xA4stner-\xE6\x99\x82\xE8\xA8\x88";
  ASSERT_TRUE(CreateDirectoryW(wideFolder.c_str(), nullptr));
  EXPECT_TRUE(Platform::IsWritableFolder(folder));
  const std::string path = folder + "\\settings.ini";
  ASSERT_TRUE(Platform::ReplaceFileContents(path, "[Common]\r\n"));
  EXPECT_NE(GetFileAttributesW((wideFolder + L"\\settings.ini").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(Platform::IsRegularFile(path));
  std::string contents;
  EXPECT_EQ(Platform::ReadFileContents(path, contents), Platform::TFileRead::Read);
  EXPECT_EQ(contents, "[Common]\r\n");
}

TEST_F(FilesTest, AFolderIsWritableWhenAFileCanBeMadeInIt) {
  EXPECT_TRUE(Platform::IsWritableFolder(Folder));
  EXPECT_TRUE(Platform::IsWritableFolder(Folder + "\\"));
  EXPECT_EQ(FileCount(), 0u) << "the probe stayed";
  EXPECT_FALSE(Platform::IsWritableFolder(Folder + "\\missing"));
  EXPECT_FALSE(Platform::IsWritableFolder(""));
  ASSERT_TRUE(Platform::ReplaceFileContents(Folder + "\\file", "x"));
  EXPECT_FALSE(Platform::IsWritableFolder(Folder + "\\file"));
}

}  // namespace
