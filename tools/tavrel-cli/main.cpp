// tavrel-cli: the headless Tavrel client for scripts and tests.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command_registry.h"
#include "commands.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

const char kUsage[] =
    "usage: tavrel-cli <command> [options]\n"
    "\n"
    "commands:\n"
    "  speaker-test --codec 17|18|19|20 [--tone HZ] [--seconds N]\n"
    "      Checks the sound output: codes a tone (default 1000 Hz, 1 second) with a DVR\n"
    "      audio codec (17 IMA ADPCM, 18 G.726 24 kbit/s, 19 voice engine, 20 G.721)\n"
    "      into frame records, decodes and plays them on the default output device\n"
    "      and waits until all was played. Prints:\n"
    "        codec <c> tone <hz> seconds <n>\n"
    "        frames <records> samples <played> dropped <records not played>\n"
    "      Exit 0 when everything was played, 1 otherwise (\"Audio Device Open Error!\"\n"
    "      on stderr when there is no output device), 2 for bad usage.\n"
    "\n"
    "  mic-test --talk-codec 148|150 --seconds N --out FILE\n"
    "      Checks the microphone: captures N seconds of the default input as two-way\n"
    "      talk does and writes the talk packets it would send (payloads of command\n"
    "      0x4033, back to back: 132 bytes each for codec 148, 200 for 150) to FILE.\n"
    "      Prints:\n"
    "        talk-codec <c> seconds <n>\n"
    "        packets <n> bytes <total> captured-samples <n>\n"
    "      Exit 0 when N seconds were captured, 1 otherwise, 2 for bad usage.\n"
    "\n"
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
    "       [--seconds N] [--snapshot-dir DIR] [--audio-channel C] [--connect-timeout S] [--stats]\n"
    "      Logs in, starts live video as a site does (channels numbered 1..16) and prints:\n"
    "        notify 1 | notify 11 | notify <code of a failed login>\n"
    "        live channels=<n> platform=<code>   live started\n"
    "        stream-lost primary|secondary       a live stream ended (connection lost,\n"
    "                                           refused or not admitted); the run goes on\n"
    "        name channel=<n> text=<camera name>\n"
    "        picture channel=<n> <w>x<h>        the first picture of a channel\n"
    "        rate channel=<n> fps=<f> kbps=<k>  every rate report (5 counted seconds)\n"
    "        summary channel=<n> frames=<records received> pictures=<pictures decoded>\n"
    "        snapshot channel=<n> file=<path>   with --snapshot-dir: last picture as BMP\n"
    "        stats cpu_s=<s> pictures=<n> cpu_ms_per_picture=<ms> latency_avg_ms=<ms>\n"
    "              latency_max_ms=<ms>          with --stats, at exit (the delay is measured\n"
    "                                           against DVR stamps on this machine's clock)\n"
    "        stream primary|secondary units=<n> multi_fragment=<n> dropped_oversize=<n>\n"
    "              dropped_broken=<n> bad_headers=<n>\n"
    "                                           with --stats, at exit: units reassembled (of\n"
    "                                           them, those of several fragments), units\n"
    "                                           dropped as too long or left incomplete, and\n"
    "                                           message headers dropped for a wrong magic\n"
    "      Without --channels the grid has the panes of the DVR's channel count (4, 9\n"
    "      for 8 or 9 channels, 16) and asks for the channels they show.\n"
    "      --audio-channel shows that channel alone and plays its sound on the default\n"
    "      device. Exit 0 when the login succeeded, 1 otherwise, 2 for bad usage.\n"
    "\n"
    "  talk --host H --port BASE --user ID --password PW --wav FILE [--seconds N]\n"
    "      Logs in, starts live, asks the DVR for talk and sends FILE (8 kHz mono\n"
    "      16-bit WAV) as talk packets in real time. Prints each notification and\n"
    "        talk packets=<n> codec=<talk codec>\n"
    "      Exit 0 when talk was granted and every packet was sent; 1 when talk was\n"
    "      refused (29), the audio port was busy (35) or the session failed.\n"
    "\n"
    "  sites <subcommand> [--home DIR]\n"
    "      The site directory: site.dat in DIR (default: $TAVREL_HOME, else\n"
    "      ~/.local/share/tavrel). Every change rewrites site.dat and site_db.ini as\n"
    "      the client does, each through a temporary file. A site.dat that does not\n"
    "      load is never written over: every subcommand then fails with the reason.\n"
    "    sites list\n"
    "        group <name>\n"
    "        site group=<g> name=<n> address=<a> port=<p> channels=<c> platform=<code>\n"
    "             model=<m> user=<id>\n"
    "      A value that is empty or holds a blank, '=', '\"', '\\' or a control byte\n"
    "      is printed in double quotes, with \\\" and \\\\ for those two characters and\n"
    "      \\xHH for control bytes.\n"
    "    sites add-group NAME                   prints: group <name>\n"
    "    sites add --group G --name N --address A [--port P] [--channels 4|8|9|16]\n"
    "              [--user ID] [--password PW] [--platform 160..164]\n"
    "      Adds a site to the group G with the checks of the site dialog: a name\n"
    "      unique in the whole directory, texts of at most 31 bytes, port 1..65532.\n"
    "      Defaults: port 7620, 16 channels, user netuser, empty password, platform\n"
    "      163, model QRT-2719B. Prints the new site's line.\n"
    "    sites remove --group G [--name N]\n"
    "      Removes the site N of the first group named G, or that group with its\n"
    "      sites. Prints: removed site group=<g> name=<n> | removed group=<g> sites=<n>\n"
    "    sites export FILE.csv                  prints: exported sites=<n> groups=<n>\n"
    "    sites import FILE.csv                  prints: imported sites=<n> groups=<n>\n"
    "      CSV as in RFC 4180 with the header\n"
    "        group,name,address,port,channels,platform,model,user,password\n"
    "      and one site a row; a row with only the group is a group without sites.\n"
    "      Import appends: groups are added as needed and each site is checked as by\n"
    "      add (a name already in use is refused); empty port, channels, platform,\n"
    "      model and user take the defaults. All or nothing: the first bad row is\n"
    "      named by its line number and nothing is changed.\n"
    "      Exit 0 on success, 1 when a check, a file or site.dat fails, 2 for bad usage.\n";

void PrintUsage(std::FILE* out) {
  std::fputs(kUsage, out);
  for (const CliCommand& command : RegisteredCliCommands()) {
    std::fputs("\n", out);
    std::fputs(command.usage, out);
  }
}
}  // namespace

bool StopRequested() { return g_stop != 0; }

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "speaker-test") return RunSpeakerTest(args);
  if (command == "mic-test") return RunMicTest(args);
  if (command == "login") return RunLogin(args);
  if (command == "live") return RunLive(args);
  if (command == "talk") return RunTalk(args);
  if (command == "sites") return RunSites(args);
  if (const CliCommand* registered = FindCliCommand(command)) return registered->run(args);
  std::fprintf(stderr, "tavrel-cli: unknown command %s\n", command.c_str());
  PrintUsage(stderr);
  return 2;
}
