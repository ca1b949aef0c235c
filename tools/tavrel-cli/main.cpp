// tavrel-cli: the headless Tavrel client for scripts and tests.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

const char kUsage[] =
    "usage: tavrel-cli <command> [options]\n"
    "\n"
    "commands:\n"
    "  login --host H --port BASE --user ID --password PW [--seconds N] [--follow-up]\n"
    "        [--connect-timeout S] [--round-ms MS]\n"
    "      Logs in on the control port BASE+1 and prints one line per report:\n"
    "        notify <code>            a session notification\n"
    "        data <code>              a stored DVR answer\n"
    "        platform <code> talk <format>   after data 40 (the DVR description)\n"
    "        timezone <seconds>       after notify 26, daylight hour included\n"
    "        event type=<t> channel=<c> state=<s> time=<u32> text=<text>\n"
    "      With --follow-up it sends the requests a site sends after login.\n"
    "      --round-ms sets the length of one silent receive round (default 10000);\n"
    "      five silent rounds without keep-alives end the session.\n"
    "      Runs N seconds (default 10) or until the session ends. Exit 0 when the\n"
    "      login succeeded, 1 otherwise (the reason on stderr), 2 for bad usage.\n"
    "\n"
    "  live --host H --port BASE --user ID --password PW [--channels LIST|all]\n"
    "       [--seconds N] [--snapshot-dir DIR] [--audio-channel C] [--connect-timeout S]\n"
    "      Logs in, starts live video as a site does (channels numbered 1..16) and prints:\n"
    "        notify 1 | notify 11 | notify <code of a failed login>\n"
    "        live channels=<n> platform=<code>   live started\n"
    "        name channel=<n> text=<camera name>\n"
    "        picture channel=<n> <w>x<h>        the first picture of a channel\n"
    "        rate channel=<n> fps=<f> kbps=<k>  every rate report (5 counted seconds)\n"
    "        summary channel=<n> frames=<records received> pictures=<pictures decoded>\n"
    "        snapshot channel=<n> file=<path>   with --snapshot-dir: last picture as BMP\n"
    "      --audio-channel shows that channel alone and plays its sound on the default\n"
    "      device. Exit 0 when the login succeeded, 1 otherwise, 2 for bad usage.\n"
    "\n"
    "  talk --host H --port BASE --user ID --password PW --wav FILE [--seconds N]\n"
    "      Logs in, starts live, asks the DVR for talk and sends FILE (8 kHz mono\n"
    "      16-bit WAV) as talk packets in real time. Prints each notification and\n"
    "        talk packets=<n> codec=<talk codec>\n"
    "      Exit 0 when talk was granted and every packet was sent; 1 when talk was\n"
    "      refused (29), the audio port was busy (35) or the session failed.\n";
}  // namespace

bool StopRequested() { return g_stop != 0; }

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "login") return RunLogin(args);
  if (command == "live") return RunLive(args);
  if (command == "talk") return RunTalk(args);
  std::fprintf(stderr, "tavrel-cli: unknown command %s\n%s", command.c_str(), kUsage);
  return 2;
}
