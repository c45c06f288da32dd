#include "platform/platform.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace platform {

void pauseForKey() {
  std::cout.flush();
  std::fflush(stdout);
  if (!isatty(STDIN_FILENO)) return;
  std::fputs("Press any key to continue . . . ", stdout);
  std::fflush(stdout);
  // One key, not a line: the terminal is taken out of line mode for the one read.
  termios saved{};
  const bool raw = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (raw) {
    termios oneKey = saved;
    oneKey.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    oneKey.c_cc[VMIN] = 1;
    oneKey.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &oneKey);
  }
  char key = 0;
  const ssize_t got = read(STDIN_FILENO, &key, 1);
  (void)got;
  if (raw) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

}  // namespace platform
