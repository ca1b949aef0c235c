// tavrel-cli commands. Each takes the arguments after its command word and
// returns the process exit status.
#pragma once
#include <string>
#include <vector>

int RunSpeakerTest(const std::vector<std::string>& args);
int RunMicTest(const std::vector<std::string>& args);
int RunLogin(const std::vector<std::string>& args);
int RunLive(const std::vector<std::string>& args);
int RunTalk(const std::vector<std::string>& args);
int RunSites(const std::vector<std::string>& args);

// Set by SIGINT/SIGTERM; long-running commands stop cleanly when it is set.
bool StopRequested();
