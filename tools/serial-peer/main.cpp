// flashwright-serial-peer: the far end of a serial line, on a pseudo-terminal, for the tests
// and the benchmark of the serial back end that run under Wine (Wine maps a COM port to the
// pseudo-terminal through its registry).
//
//   flashwright-serial-peer LINK
//
// Makes LINK a symbolic link to the pseudo-terminal's slave, prints "ready LINK" and then
// answers commands of four bytes, [code, pause high byte, pause low byte, n]:
//   'A'  after the pause, n reply bytes;
//   'P'  n / 2 reply bytes at once, the rest after the pause (a reply that arrives in parts);
//   'H'  after the pause, n reply bytes, then 100 ms later the line hangs up (the master
//        side is closed); a new pseudo-terminal takes LINK's place 300 ms after that;
//   'Q'  ends the program.
// Reply byte i is PeerReplyByte(i) = (i * 7 + 1) & 0xFF, so the reader can check them. Any
// other byte is ignored (a request that is not a command: the line stays silent). Each reply
// line is logged on standard error with the moment its last byte was written (steady clock,
// microseconds), for the latency figure.

#include <errno.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Line {
  int master = -1;
  int slave = -1;
};

bool OpenLine(Line& line, const std::string& link) {
  char name[256] = {};
  if (openpty(&line.master, &line.slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return false;
  }
  termios t;
  tcgetattr(line.slave, &t);
  cfmakeraw(&t);
  tcsetattr(line.slave, TCSANOW, &t);
  const std::string temp = link + ".new";
  ::unlink(temp.c_str());
  if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), link.c_str()) != 0) {
    std::perror("symlink");
    return false;
  }
  return true;
}

void CloseLine(Line& line) {
  if (line.master >= 0) {
    ::close(line.master);
  }
  if (line.slave >= 0) {
    ::close(line.slave);
  }
  line = Line();
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Send(int fd, const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  while (from < to) {
    ssize_t n = ::write(fd, bytes.data() + from, to - from);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) {
        continue;
      }
      return;
    }
    from += static_cast<size_t>(n);
  }
}

long long NowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: flashwright-serial-peer LINK\n");
    return 2;
  }
  const std::string link = argv[1];
  Line line;
  if (!OpenLine(line, link)) {
    return 1;
  }
  std::printf("ready %s\n", link.c_str());
  std::fflush(stdout);
  std::vector<uint8_t> command;
  for (;;) {
    uint8_t byte = 0;
    ssize_t n = ::read(line.master, &byte, 1);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      Pause(20);  // the slave side is between two opens
      continue;
    }
    if (command.empty() && byte != 'A' && byte != 'P' && byte != 'H' && byte != 'Q') {
      continue;
    }
    command.push_back(byte);
    if (command.size() < 4) {
      continue;
    }
    const char code = static_cast<char>(command[0]);
    const int pauseMs = (command[1] << 8) | command[2];
    const size_t count = command[3];
    command.clear();
    if (code == 'Q') {
      break;
    }
    std::vector<uint8_t> reply(count);
    for (size_t i = 0; i < count; ++i) {
      reply[i] = static_cast<uint8_t>((i * 7 + 1) & 0xFF);
    }
    if (code == 'P') {
      Send(line.master, reply, 0, count / 2);
      Pause(pauseMs);
      Send(line.master, reply, count / 2, count);
    } else {
      Pause(pauseMs);
      Send(line.master, reply, 0, count);
    }
    std::fprintf(stderr, "%c %zu sent at %lld\n", code, count, NowMicros());
    if (code == 'H') {
      Pause(100);  // the reader takes the bytes before the line goes
      CloseLine(line);
      Pause(300);
      if (!OpenLine(line, link)) {
        return 1;
      }
    }
  }
  CloseLine(line);
  ::unlink(link.c_str());
  return 0;
}
