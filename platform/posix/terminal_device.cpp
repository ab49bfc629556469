// The console on a POSIX terminal: raw mode with signals kept, the main
// screen (what is left on it after the end stays), cells as UTF-8 through the
// CP437 table, keys through the key decoder, waiting in poll().

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "platform/common/ansi_screen.h"
#include "platform/common/key_decoder.h"
#include "platform/console_device.h"
#include "platform/process.h"

namespace {

// What the signal handlers need, in plain storage they may touch.
struct TerminalState {
  int inFd = -1;
  int outFd = -1;
  bool ownFds = false;
  termios saved{};
  termios raw{};
  bool active = false;
  int wakePipe[2] = {-1, -1};
  volatile sig_atomic_t repaint = 0;
};
TerminalState terminal;

// Undoes everything the program changed on the terminal: colours, autowrap,
// cursor visibility and shape, the Alt-sends-escape mode, then the line
// discipline. Safe to call from a signal handler.
constexpr char kRestoreBytes[] = "\x1b[0m\x1b[?7h\x1b[?25h\x1b[0 q\x1b[?1036l";
constexpr char kStartBytes[] = "\x1b[?1036h\x1b[?7l\x1b[0m\x1b[H\x1b[2J";

void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void RestoreTerminal() {
  if (!terminal.active) return;
  WriteAll(terminal.outFd, kRestoreBytes, sizeof kRestoreBytes - 1);
  tcsetattr(terminal.inFd, TCSADRAIN, &terminal.saved);
  terminal.active = false;
}

void EnterRawMode() {
  tcsetattr(terminal.inFd, TCSADRAIN, &terminal.raw);
  terminal.active = true;
}

void Wake() {
  if (terminal.wakePipe[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(terminal.wakePipe[1], &byte, 1);
  }
}

// Ctrl-C, SIGTERM, SIGHUP: put the terminal back, then end as the signal
// would have ended the program.
void OnTerminate(int sig) {
  const int saved = errno;
  RestoreTerminal();
  signal(sig, SIG_DFL);
  raise(sig);
  errno = saved;
}

// Ctrl-Z: put the terminal back and stop; on continuing, raw mode again and
// a repaint.
void OnStop(int) {
  const int saved = errno;
  RestoreTerminal();
  signal(SIGTSTP, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(SIGTSTP);
  // Continued here.
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTSTP, &action, nullptr);
  EnterRawMode();
  terminal.repaint = 1;
  Wake();
  errno = saved;
}

void OnContinue(int) {
  const int saved = errno;
  if (!terminal.active) EnterRawMode();
  terminal.repaint = 1;
  Wake();
  errno = saved;
}

void OnResize(int) {
  const int saved = errno;
  terminal.repaint = 1;
  Wake();
  errno = saved;
}

void OnStdTerminate() {
  RestoreTerminal();
  std::abort();
}

void Install(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(sig, &action, nullptr);
}

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class TerminalDevice final : public ConsoleDevice {
 public:
  TerminalDevice() : decoder_(EscDelayFromText(EnvironmentValue("ESCDELAY"))) {
    ReadSize();
    screen_.Reset(columns_, rows_);
    wanted_.assign(static_cast<size_t>(columns_) * rows_, MakeCell(' ', 7));
    std::string out = kStartBytes;
    Send(out);
  }

  int Columns() const override { return columns_; }
  int Rows() const override { return rows_; }

  void ShowCells(int left, int top, int right, int bottom, const ScreenCell* cells,
                 int stride) override {
    for (int row = top; row <= bottom && row < rows_; ++row) {
      for (int column = left; column <= right && column < columns_; ++column) {
        wanted_[static_cast<size_t>(row) * columns_ + column] =
            cells[static_cast<size_t>(row) * stride + column];
      }
    }
    std::string out;
    if (terminal.repaint) {
      Repaint(out);
    } else {
      screen_.Update(left, top, right, bottom, wanted_.data(), columns_, out);
    }
    PutCursor(out);
    Send(out);
  }

  void PlaceCursor(int column, int row) override {
    cursorColumn_ = column;
    cursorRow_ = row;
    std::string out;
    PutCursor(out);
    Send(out);
  }

  void SetCursorVisible(bool visible) override {
    cursorShown_ = visible ? 1 : 0;
    Send(CursorBytes());
  }

  bool ReadKey(int timeoutMs, PcKey& key) override {
    const int64_t start = NowMs();
    for (;;) {
      if (terminal.repaint) {
        std::string out;
        Repaint(out);
        PutCursor(out);
        Send(out);
      }
      int64_t now = NowMs();
      if (decoder_.Next(key, now)) return true;
      int wait = -1;
      if (timeoutMs >= 0) wait = static_cast<int>(std::max<int64_t>(0, start + timeoutMs - now));
      const int64_t deadline = decoder_.Deadline();
      if (deadline >= 0) {
        const int untilDeadline = static_cast<int>(std::max<int64_t>(0, deadline - now));
        wait = wait < 0 ? untilDeadline : std::min(wait, untilDeadline);
      }
      pollfd fds[2] = {{terminal.inFd, POLLIN, 0}, {terminal.wakePipe[0], POLLIN, 0}};
      const int ready = poll(fds, 2, wait);
      if (ready < 0 && errno != EINTR) HangUp();
      now = NowMs();
      if (ready > 0 && (fds[1].revents & POLLIN)) {
        char drain[64];
        while (read(terminal.wakePipe[0], drain, sizeof drain) > 0) {
        }
      }
      if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
        uint8_t bytes[256];
        const ssize_t n = read(terminal.inFd, bytes, sizeof bytes);
        if (n > 0) {
          decoder_.Feed(bytes, static_cast<size_t>(n), now);
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
          HangUp();
        }
      }
      if (decoder_.Next(key, now)) return true;
      if (timeoutMs >= 0 && now - start >= timeoutMs) return false;
    }
  }

  void Restore() override {
    std::string out;
    PutCursor(out);
    Send(out);
    RestoreTerminal();
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT, SIGWINCH}) signal(sig, SIG_DFL);
    if (terminal.ownFds) {
      close(terminal.inFd);
      if (terminal.outFd != terminal.inFd) close(terminal.outFd);
    }
  }

 private:
  void ReadSize() {
    winsize size{};
    int columns = 0, rows = 0;
    if (ioctl(terminal.outFd, TIOCGWINSZ, &size) == 0) columns = size.ws_col, rows = size.ws_row;
    if (!sized_) {
      columns_ = columns > 0 ? columns : 80;
      rows_ = rows > 0 ? rows : 25;
      sized_ = true;
    }
    visibleColumns_ = columns > 0 ? columns : columns_;
    visibleRows_ = rows > 0 ? rows : rows_;
  }

  void Repaint(std::string& out) {
    terminal.repaint = 0;
    ReadSize();
    screen_.Invalidate();
    screen_.SetVisibleSize(visibleColumns_, visibleRows_);
    out += kStartBytes;
    // A stop showed the cursor for the shell; it gets the program's shape again.
    out += CursorBytes();
    screen_.Update(0, 0, columns_ - 1, rows_ - 1, wanted_.data(), columns_, out);
  }

  const char* CursorBytes() const {
    if (cursorShown_ < 0) return "";
    return cursorShown_ != 0 ? "\x1b[4 q\x1b[?25h" : "\x1b[?25l";
  }

  void PutCursor(std::string& out) {
    if (cursorColumn_ < visibleColumns_ && cursorRow_ < visibleRows_)
      screen_.MoveCursor(cursorColumn_, cursorRow_, out);
  }

  // One write per flush.
  void Send(const std::string& out) {
    if (!out.empty()) WriteAll(terminal.outFd, out.data(), out.size());
  }

  [[noreturn]] void HangUp() {
    RestoreTerminal();
    signal(SIGHUP, SIG_DFL);
    raise(SIGHUP);
    _exit(129);
  }

  KeyDecoder decoder_;
  AnsiScreen screen_;
  std::vector<ScreenCell> wanted_;  // what the program wants shown, for repaints
  int columns_ = 80, rows_ = 25;
  int visibleColumns_ = 80, visibleRows_ = 25;
  bool sized_ = false;
  int cursorColumn_ = 0, cursorRow_ = 0;
  int cursorShown_ = -1;  // as last set: 1 an underline, 0 hidden, -1 never set
};

}  // namespace

std::unique_ptr<ConsoleDevice> OpenConsoleDevice() {
  if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
    terminal.inFd = STDIN_FILENO;
    terminal.outFd = STDOUT_FILENO;
  } else {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    terminal.inFd = terminal.outFd = fd;
    terminal.ownFds = true;
  }
  if (tcgetattr(terminal.inFd, &terminal.saved) != 0) return nullptr;
  terminal.raw = terminal.saved;
  // Raw input, but Ctrl-C and Ctrl-Z still raise their signals.
  terminal.raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT);
  terminal.raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  terminal.raw.c_cflag |= CS8;
  terminal.raw.c_cc[VMIN] = 1;
  terminal.raw.c_cc[VTIME] = 0;
  if (pipe2(terminal.wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) return nullptr;
  EnterRawMode();
  Install(SIGINT, OnTerminate);
  Install(SIGTERM, OnTerminate);
  Install(SIGHUP, OnTerminate);
  Install(SIGQUIT, OnTerminate);
  Install(SIGTSTP, OnStop);
  Install(SIGCONT, OnContinue);
  Install(SIGWINCH, OnResize);
  std::set_terminate(OnStdTerminate);
  return std::make_unique<TerminalDevice>();
}
