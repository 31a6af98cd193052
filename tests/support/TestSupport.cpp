#include "TestSupport.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace gridlark::test {

std::string FixturePath(std::string_view relative) {
  return std::string(GRIDLARK_SOURCE_DIR) + "/tests/fixtures/" + std::string(relative);
}

std::string CorpusDir() {
  struct stat st {};
  const std::string dir = GRIDLARK_CORPUS_DIR;
  return (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? dir : std::string();
}

std::string CorpusPath(std::string_view relative) { return CorpusDir() + "/" + std::string(relative); }

std::string WriteTempFile(std::string_view name, const std::vector<uint8_t>& bytes) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp ? tmp : "/tmp") + "/gridlark-tests-" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string prefix = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
  for (char& c : prefix)
    if (c == '/') c = '_';
  const std::string path = dir + "/" + prefix + "-" + std::string(name);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

Bytes& Bytes::f64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return u64(bits);
}

std::string RunCgi(const std::string& query) {
  std::string out;
  int fds[2];
  if (::pipe(fds) != 0) {
    ADD_FAILURE() << "pipe failed";
    return out;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string exe = GRIDLARK_EXE;
  std::string var = "QUERY_STRING=" + query;
  char* argv[] = {exe.data(), nullptr};
  char* envp[] = {var.data(), nullptr};
  pid_t pid;
  const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    ADD_FAILURE() << "cannot run " << exe;
    return out;
  }
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "query: " << query;
  return out;
}

std::string CellText(const TSpreadSheetCells& cells, int row, int col) {
  const TSpreadSheetRow* stored = row >= 0 ? cells.FindRow(row) : nullptr;
  const TVoxCell* cell = stored ? stored->Cols.GetCell(col) : nullptr;
  if (!cell) return "<hole>";
  if (cell->Value.Type() == VarType::Boolean) return cell->Value.Boolean() ? "True" : "False";
  if (cell->Value.Type() == VarType::WideString) return WideToUtf8(cell->Value.WideText());
  return WideToUtf8(AnsiToWide(cell->Value.AsString()));
}

void CheckWorkbook(TSpreadSheetFile& reader, const std::string& path,
                   std::initializer_list<const char16_t*> captions, std::initializer_list<ExpectCell> cells) {
  reader.LoadFromFile(path);
  ASSERT_EQ(reader.Sheets.Count(), int(captions.size())) << path;
  int i = 0;
  for (const char16_t* caption : captions) EXPECT_EQ(reader.Sheets.Items(i++).Caption, caption) << path;
  for (const ExpectCell& e : cells) {
    const std::string text =
        e.sheet < reader.Sheets.Count() ? CellText(reader.Sheets.Items(e.sheet).Cells, e.row, e.col) : "<no sheet>";
    EXPECT_EQ(text, e.text) << path << " sheet " << e.sheet << " (" << e.row << "," << e.col << ")";
  }
}

}  // namespace gridlark::test
