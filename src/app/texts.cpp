#include "app/texts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/profile.h"

namespace app {
namespace {

constexpr const char* kFiles[kLanguageCount] = {
    "Eng_QuorvantaString.ini", "Kor_QuorvantaString.ini", "Pol_QuorvantaString.ini", "Rus_QuorvantaString.ini",
    "Fra_QuorvantaString.ini", "Heb_QuorvantaString.ini", "Spa_QuorvantaString.ini", "Por_QuorvantaString.ini",
    "Jap_QuorvantaString.ini", "Chi_QuorvantaString.ini", "Tai_QuorvantaString.ini", "Tur_QuorvantaString.ini",
    "Ita_QuorvantaString.ini", "Gre_QuorvantaString.ini", "Dut_QuorvantaString.ini", "Ira_QuorvantaString.ini",
};

std::mutex g_lock;
int g_index = 0;
std::string g_program_folder = ".";

bool Exists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

struct LocaleId {
  const char* name;  // "ll" for the language's main id, "ll_RR" for a region
  int id;
};

// Windows language ids of the locales this program has files for, and of
// the regions that must not fall back to the main id.
constexpr LocaleId kLocales[] = {
    {"en", 1033},    {"en_GB", 2057},  {"ko", 1042},    {"pl", 1045},    {"ru", 1049},    {"fr", 1036},
    {"fr_BE", 2060}, {"fr_CA", 3084},  {"fr_CH", 4108}, {"fr_LU", 5132}, {"fr_MC", 6156}, {"br", 1150},
    {"oc", 1154},    {"co", 1155},     {"gsw", 1156},   {"he", 1037},    {"iw", 1037},    {"es", 3082},
    {"es_MX", 2058}, {"es_GT", 4106},  {"es_CR", 5130}, {"es_PA", 6154}, {"es_DO", 7178}, {"es_VE", 8202},
    {"es_CO", 9226}, {"es_PE", 10250}, {"es_AR", 11274}, {"es_EC", 12298}, {"es_CL", 13322}, {"es_UY", 14346},
    {"es_PY", 15370}, {"es_BO", 16394}, {"es_SV", 17418}, {"es_HN", 18442}, {"es_NI", 19466}, {"es_PR", 20490},
    {"es_US", 21514}, {"pt", 2070},    {"pt_BR", 1046}, {"ja", 1041},    {"zh", 2052},    {"zh_TW", 1028},
    {"zh_HK", 3076}, {"zh_SG", 4100},  {"zh_MO", 5124}, {"tr", 1055},    {"it", 1040},    {"it_CH", 2064},
    {"el", 1032},    {"nl", 1043},     {"nl_BE", 2067}, {"fa", 1065},    {"de", 1031},
};

}  // namespace

const char* LanguageFileName(int index) {
  return index >= 0 && index < kLanguageCount ? kFiles[index] : kFiles[0];
}

int LanguageIndexForLangId(int lang_id) {
  switch (lang_id) {
    case 1042: return 1;
    case 1045: return 2;
    case 1049: return 3;
    case 1036: case 1150: case 1154: case 1155: case 1156: return 4;
    case 1037: return 5;
    case 1034: case 2058: case 3082: case 4106: case 5130: case 6154: case 7178: case 8202: case 9226:
    case 10250: case 11274: case 12298: case 13322: case 14346: case 15370: case 17418: case 18442:
    case 19466: case 20490:
      return 6;
    case 1046: case 2070: return 7;
    case 1041: return 8;
    case 3076: return 9;
    case 1028: return 10;
    case 1055: return 11;
    case 1040: case 2064: return 12;
    case 1032: return 13;
    case 1043: case 2067: return 14;
    case 1065: return 15;
    default: return 0;
  }
}

int LangIdFromLocale(std::string_view locale) {
  // "ll_RR.codeset@modifier": keep language and region.
  const size_t end = locale.find_first_of(".@");
  if (end != std::string_view::npos) locale = locale.substr(0, end);
  std::string language;
  std::string region;
  const size_t sep = locale.find_first_of("_-");
  for (char c : locale.substr(0, sep)) language += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (sep != std::string_view::npos) {
    for (char c : locale.substr(sep + 1)) region += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (!region.empty()) {
    const std::string full = language + "_" + region;
    for (const LocaleId& l : kLocales) {
      if (full == l.name) return l.id;
    }
  }
  for (const LocaleId& l : kLocales) {
    if (language == l.name) return l.id;
  }
  return 1033;
}

int SystemDefaultLangId() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && value[0] != '\0') return LangIdFromLocale(value);
  }
  return 1033;
}

void ChooseLanguage() { SetLanguageIndex(LanguageIndexForLangId(SystemDefaultLangId())); }

void SetLanguageIndex(int index) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_index = index >= 0 && index < kLanguageCount ? index : 0;
}

int LanguageIndex() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_index;
}

void SetProgramFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_program_folder = folder.empty() ? "." : folder;
}

std::string ProgramFolder() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_program_folder;
}

std::string FindProgramFolder(const std::string& exe_folder, const std::string& share_folder) {
  if (Exists(exe_folder + "/Skin")) return exe_folder;
  if (!share_folder.empty() && Exists(share_folder + "/Skin")) return share_folder;
  return exe_folder;
}

std::string ExecutableFolder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string(slash == 0 ? "/" : ".") : path.substr(0, slash);
}

std::string LanguageFilePath() {
  const std::string skin = ProgramFolder() + "/Skin/";
  const std::string chosen = skin + LanguageFileName(LanguageIndex());
  if (Exists(chosen)) return chosen;
  return skin + LanguageFileName(0);
}

std::string LoadText(std::string_view section, int number) {
  return platform::GetProfileString(LanguageFilePath(), section, std::to_string(number), "");
}

std::string LoadTextOr(std::string_view section, int number, std::string_view fallback) {
  std::string text = LoadText(section, number);
  return text.empty() ? std::string(fallback) : text;
}

}  // namespace app
