#pragma once

#include <string>
#include <string_view>

namespace etherm {

// The window's texts follow the user's language through gettext (domain "etherm"): English
// under an English locale, the Polish originals under a Polish one, under C/POSIX and wherever
// no catalog exists. Only the messages category is set, so numbers and the files a run writes
// stay the same in every locale.

// Reads the locale from the environment (LC_ALL, LC_MESSAGES, LANG, LANGUAGE) and binds the
// catalogs in localeDir, which may be empty: the one beside the running program. Again after a
// change of the environment to follow it.
void SelectLanguage(const std::string& localeDir = "");

// The folder of the catalogs beside the program: ../share/locale from its own folder.
std::string DefaultLocaleDirectory();

// The text in the selected language; the text itself when there is no translation.
std::string Tr(std::string_view text);

// Tr of a template whose "{1}" and "{2}" are then replaced by first and second.
std::string TrFormat(std::string_view pattern, std::string_view first,
                     std::string_view second = {});

}  // namespace etherm
