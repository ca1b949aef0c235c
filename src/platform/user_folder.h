// The user folder: where the client keeps everything it writes (profile
// files, the site directory, predefined lists, the event log). Profile files
// are addressed by bare names, as the settings code has always done, and
// resolved here against the folder chosen once at start-up.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// The folder chosen by the rules of the program: $TAVREL_HOME when set and
// not empty, else home_option when not empty (the --home command-line
// option), else ~/.local/share/tavrel ($HOME, or the password database's home
// when $HOME is unset). Nothing is created.
std::string ResolveUserFolder(std::string_view home_option);

// Makes the folder the process-wide user folder, creating it (and its
// parents) when missing. False when it cannot be created or is not a folder;
// the previous folder stays then.
bool SetUserFolder(const std::string& folder);

// The process-wide user folder (ResolveUserFolder("") until SetUserFolder).
std::string UserFolder();

// The path of a bare file name in the user folder.
std::string UserFile(std::string_view name);

// Creates a folder and its parents (mode 0700 for new ones); true when it
// exists as a folder afterwards.
bool MakeFolders(const std::string& folder);

}  // namespace platform
