#include "app/language.h"

#include <libintl.h>
#include <locale.h>
#include <stdlib.h>

#include <filesystem>
#include <system_error>

// gettext's count of catalog changes: raising it drops translations it has cached, which it
// keys by the locale's name only, not by LANGUAGE.
extern "C" int _nl_msg_cat_cntr;

namespace etherm {

namespace {

constexpr char kDomain[] = "etherm";

// Whether LANGUAGE is ours, set because the user's locale is not installed.
bool g_languageSetHere = false;

std::string Variable(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

// The locale the messages category asks for, as the C library reads the environment.
std::string RequestedLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::string value = Variable(name);
    if (!value.empty()) return value;
  }
  return "";
}

}  // namespace

std::string DefaultLocaleDirectory() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  return (self.parent_path().parent_path() / "share" / "locale").string();
}

void SelectLanguage(const std::string& localeDir) {
  if (g_languageSetHere) {
    unsetenv("LANGUAGE");
    g_languageSetHere = false;
  }
  if (setlocale(LC_MESSAGES, "") == nullptr) {
    // The user's locale is not installed (common on minimal systems): the catalogs do not need
    // it. Any locale but "C" lets gettext take the language from LANGUAGE, so name it there.
    const std::string requested = RequestedLocale();
    const std::string language = requested.substr(0, requested.find_first_of("_.@"));
    if (!language.empty() && language != "C" && language != "POSIX" &&
        setlocale(LC_MESSAGES, "C.UTF-8") != nullptr && Variable("LANGUAGE").empty()) {
      setenv("LANGUAGE", language.c_str(), 1);
      g_languageSetHere = true;
    }
  }
  const std::string dir = localeDir.empty() ? DefaultLocaleDirectory() : localeDir;
  if (!dir.empty()) bindtextdomain(kDomain, dir.c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
  ++_nl_msg_cat_cntr;
}

std::string Tr(std::string_view text) {
  // The empty text would give the catalog's header.
  if (text.empty()) return "";
  const std::string key(text);
  return dgettext(kDomain, key.c_str());
}

std::string TrFormat(std::string_view pattern, std::string_view first, std::string_view second) {
  std::string text = Tr(pattern);
  for (const auto& [mark, value] :
       {std::pair{std::string_view("{1}"), first}, std::pair{std::string_view("{2}"), second}}) {
    if (const auto at = text.find(mark); at != std::string::npos) text.replace(at, 3, value);
  }
  return text;
}

}  // namespace etherm
