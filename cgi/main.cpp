// The gridlark CGI program: one request per process.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "cgi/gridlark.h"
#include "platform/Memory.h"

extern char** environ;

int main() {
  // A web server that stops reading must not kill us mid-page.
  std::signal(SIGPIPE, SIG_IGN);
  // Large files fill a lot of memory: prepare the heap for it. Small ones
  // skip the set-up, which costs more than it saves them.
  constexpr off_t kLargeFile = off_t(1) << 20;
  struct stat st {};
  const std::string file = gridlark::ReadRequest(environ).FileName;
  if (!file.empty() && ::stat(file.c_str(), &st) == 0 && st.st_size >= kLargeFile) gridlark::PrepareHeapForLargeLoads();
  gridlark::TPageWriter out(STDOUT_FILENO);
  // Leak checkers want every block freed; otherwise the workbook goes with the process.
#if defined(GRIDLARK_ASAN)
  constexpr bool kFreeReader = true;
#else
  constexpr bool kFreeReader = false;
#endif
  gridlark::RunRequest(environ, out, gridlark::CreateReader, kFreeReader);
  return 0;
}
