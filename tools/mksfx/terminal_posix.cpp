#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "terminal.h"

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

bool ReadHiddenLine(const char* prompt, std::string* line) {
  int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  termios saved;
  bool echoOff = tcgetattr(fd, &saved) == 0;
  if (echoOff) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  ssize_t ignored = write(fd, prompt, std::char_traits<char>::length(prompt));
  (void)ignored;
  line->clear();
  char c;
  bool read_any = false;
  while (read(fd, &c, 1) == 1) {
    read_any = true;
    if (c == '\n' || c == '\r') break;
    line->push_back(c);
  }
  if (echoOff) tcsetattr(fd, TCSAFLUSH, &saved);
  close(fd);
  return read_any;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}
