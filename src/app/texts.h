// Language texts: every user-visible text of the client, apart from a few
// fixed English ones, is looked up by section ("STRINGS" or "MESSAGE") and
// number in the language file chosen once at start-up from the system's
// language. Lookups read the file each time; nothing is cached.
#pragma once
#include <string>
#include <string_view>

namespace app {

inline constexpr std::string_view kStrings = "STRINGS";
inline constexpr std::string_view kMessage = "MESSAGE";
inline constexpr int kLanguageCount = 16;

// The language file name of an index 0..15 ("Eng_QuorvantaString.ini" ...);
// the English name for anything else.
const char* LanguageFileName(int index);

// The language index for a Windows language id (1042 -> 1, 2052 -> 0, ...).
int LanguageIndexForLangId(int lang_id);

// The Windows language id of a POSIX locale name such as "ko_KR.UTF-8",
// "fr_CA", "pt" or "C" (1033 for "C", "POSIX", empty and unknown names;
// a known language in an unknown region gets the language's main id).
int LangIdFromLocale(std::string_view locale);

// The system's default language id: the locale of LC_ALL, else LC_MESSAGES,
// else LANG.
int SystemDefaultLangId();

// Sets the language index from the system's default language.
void ChooseLanguage();
void SetLanguageIndex(int index);
int LanguageIndex();

// The program folder: the one holding "Skin" with the language files and
// pictures, and the companion programs. Set once at start-up.
void SetProgramFolder(const std::string& folder);
std::string ProgramFolder();
// Chooses the program folder from the executable's folder: that folder when
// it holds "Skin", else share_folder when that holds "Skin", else the
// executable's folder.
std::string FindProgramFolder(const std::string& exe_folder, const std::string& share_folder);
// The folder of the running executable (from /proc/self/exe).
std::string ExecutableFolder();

// The path of the chosen language file. When it does not exist the English
// file is used instead, so a missing translation never empties the screen.
std::string LanguageFilePath();

// The text of section/number in the language file; empty when the file,
// section or key is missing.
std::string LoadText(std::string_view section, int number);

// LoadText, or fallback when the text is empty: for labels of controls that
// would otherwise be blank when a language file lacks the number.
std::string LoadTextOr(std::string_view section, int number, std::string_view fallback);

}  // namespace app
