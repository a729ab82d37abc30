#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/tools/test_zip.h"
#include "tools/brand/resource_branding.h"

// BRAND_EXE and FIXTURE_EXE (paths of the built programs) come from the build.

namespace {

using brand::BrandExecutable;
using brand::ReadThemeResource;
using brand_test::MakeThemeZip;
using brand_test::MakeZip;
using brand_test::WriteFileBytes;

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text; ++text) wide.push_back(*text == '/' ? L'\\' : static_cast<wchar_t>(*text));
  return wide;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
  return TRUE;
}

std::vector<WORD> ThemeLanguages(const std::wstring& exe, WORD id) {
  std::vector<WORD> languages;
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return languages;
  EnumResourceLanguagesW(module, L"THEME", MAKEINTRESOURCEW(id), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  FreeLibrary(module);
  return languages;
}

std::string ResourceInLanguage(const std::wstring& exe, WORD id, WORD language) {
  std::string bytes;
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return bytes;
  HRSRC info = FindResourceExW(module, L"THEME", MAKEINTRESOURCEW(id), language);
  if (info) {
    HGLOBAL handle = LoadResource(module, info);
    if (handle)
      bytes.assign(static_cast<const char*>(LockResource(handle)), SizeofResource(module, info));
  }
  FreeLibrary(module);
  return bytes;
}

struct ProgramRun {
  DWORD exit_code = 0xFFFFFFFF;
  std::string output;  // stdout and stderr together
};

// Runs a program with the given command line and collects its output.
ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments) {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + program + L"\" " + arguments;
  BOOL started = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE,
                                CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  if (started) {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(read_end, buffer, sizeof(buffer), &read, nullptr) && read)
      run.output.append(buffer, read);
    WaitForSingleObject(process.hProcess, 30000);
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(read_end);
  return run;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t ch : text) narrow.push_back(ch < 128 ? static_cast<char>(ch) : '?');
  return narrow;
}

class BrandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    dir_ = std::wstring(temp) + L"brand_test_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir_.c_str(), nullptr);
    fixture_ = Widen(FIXTURE_EXE);
    brand_exe_ = Widen(BRAND_EXE);
    ASSERT_TRUE(Exists(fixture_));
    ASSERT_TRUE(Exists(brand_exe_));
  }

  void TearDown() override {
    for (const std::wstring& file : written_) DeleteFileW(file.c_str());
    RemoveDirectoryW(dir_.c_str());
  }

  std::wstring Path(const wchar_t* name) {
    std::wstring path = dir_ + L"\\" + name;
    written_.push_back(path);
    return path;
  }

  std::wstring Write(const wchar_t* name, const std::string& bytes) {
    std::wstring path = Path(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }

  std::wstring dir_, fixture_, brand_exe_;
  std::vector<std::wstring> written_;
};

TEST_F(BrandTest, ReplacesTheArchiveInEveryLanguageAndKeepsTheRest) {
  // The fixture carries THEME 129 in two languages and THEME 130 beside it.
  const std::vector<WORD> before = ThemeLanguages(fixture_, 129);
  ASSERT_EQ(2u, before.size());
  const std::string other = ResourceInLanguage(fixture_, 130, 0);
  ASSERT_FALSE(other.empty());

  const std::string theme = MakeThemeZip("acme");
  const std::wstring zip = Write(L"acme.zip", theme);
  const std::wstring out = Path(L"acme.exe");
  brand::BrandResult result = BrandExecutable(fixture_, zip, out);
  ASSERT_TRUE(result.ok) << Narrow(result.message);

  std::string read;
  ASSERT_TRUE(ReadThemeResource(out, &read));
  EXPECT_EQ(theme, read);
  // No copy of the old archive is left in another language.
  const std::vector<WORD> after = ThemeLanguages(out, 129);
  ASSERT_EQ(1u, after.size());
  EXPECT_EQ(theme, ResourceInLanguage(out, 129, after[0]));
  EXPECT_EQ(other, ResourceInLanguage(out, 130, 0));
  // The input is untouched.
  EXPECT_EQ(before, ThemeLanguages(fixture_, 129));
  ASSERT_TRUE(ReadThemeResource(fixture_, &read));
  EXPECT_NE(theme, read);

  // The branded copy is still a working program, and can be branded again.
  EXPECT_EQ(42u, RunProgram(out, L"").exit_code);
  const std::string second = MakeThemeZip("globex");
  const std::wstring again = Path(L"globex.exe");
  ASSERT_TRUE(BrandExecutable(out, Write(L"globex.zip", second), again).ok);
  ASSERT_TRUE(ReadThemeResource(again, &read));
  EXPECT_EQ(second, read);
}

TEST_F(BrandTest, RefusesBadInputAndWritesNothing) {
  const std::wstring good_zip = Write(L"good.zip", MakeThemeZip("acme"));
  const std::wstring out = Path(L"out.exe");
  struct Case {
    std::wstring assistant, zip, output;
    const char* expected;  // in the message
  };
  const std::vector<Case> cases = {
      // Members without the "resources/" root.
      {fixture_, Write(L"flat.zip", MakeZip({{"config.json", "{}"}})), out,
       "no member \"resources/config.json\""},
      {fixture_, Write(L"text.zip", "this is not a zip"), out, "not a zip"},
      {fixture_, Path(L"missing.zip"), out, "cannot read"},
      // An executable without the branding resource (the tool itself).
      {brand_exe_, good_zip, out, "has no THEME 129 resource"},
      {Write(L"notes.exe", "plain text, not a program"), good_zip, out,
       "is not a Windows executable"},
      {fixture_, good_zip, fixture_, "must be a new file"},
  };
  for (const Case& c : cases) {
    brand::BrandResult result = BrandExecutable(c.assistant, c.zip, c.output);
    const std::string message = Narrow(result.message);
    EXPECT_FALSE(result.ok) << c.expected;
    EXPECT_NE(std::string::npos, message.find(c.expected)) << message;
    EXPECT_FALSE(Exists(out)) << c.expected;
  }
  EXPECT_EQ(42u, RunProgram(fixture_, L"").exit_code);
}

TEST_F(BrandTest, CommandLine) {
  const std::string theme = MakeThemeZip("acme");
  const std::wstring zip = Write(L"cli.zip", theme);
  const std::wstring out = Path(L"cli.exe");

  ProgramRun run =
      RunProgram(brand_exe_, Quoted(fixture_) + L" " + Quoted(zip) + L" " + Quoted(out));
  EXPECT_EQ(0u, run.exit_code) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("wrote")) << run.output;
  std::string read;
  ASSERT_TRUE(ReadThemeResource(out, &read));
  EXPECT_EQ(theme, read);

  run = RunProgram(brand_exe_, Quoted(fixture_) + L" " + Quoted(zip));
  EXPECT_EQ(2u, run.exit_code);
  EXPECT_NE(std::string::npos, run.output.find("usage: brand")) << run.output;

  const std::wstring refused = Path(L"refused.exe");
  run = RunProgram(brand_exe_, Quoted(fixture_) + L" " + Quoted(fixture_) + L" " + Quoted(refused));
  EXPECT_EQ(1u, run.exit_code);
  EXPECT_NE(std::string::npos, run.output.find("is not a branding archive")) << run.output;
  EXPECT_FALSE(Exists(refused));
}

}  // namespace
