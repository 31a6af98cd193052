// The gridlark CGI program: one request per process.
#include <unistd.h>

#include <csignal>

#include "cgi/gridlark.h"

extern char** environ;

int main() {
  // A web server that stops reading must not kill us mid-page.
  std::signal(SIGPIPE, SIG_IGN);
  gridlark::TPageWriter out(STDOUT_FILENO);
  gridlark::RunRequest(environ, out);
  return 0;
}
