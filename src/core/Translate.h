// Translation of the program's resource texts through the message catalogue of the
// "quillon" text domain. Russian is the source language: without a catalogue the
// Russian text comes back unchanged.
//
// The catalogues are looked for beside the running program: <folder>/locale when it runs
// from the build folder, <folder>/../share/locale when it runs from an installed tree
// (wherever that tree was unpacked), else in the folder the build was configured to
// install into.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr const char* kTextDomain = "quillon";

// The translated text of msgid (UTF-8). The reference stays valid on this thread until
// the catalogue folder or the language is changed.
const std::string& Tr(const char* msgid);

// Marks a text of a constant table as a catalogue id; the table's reader passes it
// through Tr() where it is shown.
constexpr const char* N_(const char* msgid) {
  return msgid;
}

// Points the text domain at a folder of catalogues (LOCALE/LC_MESSAGES/quillon.mo).
void SetTranslationDirectory(const std::string& dir);

// Changes whenever the catalogue folder or the language is changed.
unsigned TranslationGeneration();

// A value made of translated texts (make() builds it), kept per thread and built again
// after the catalogue or the language changed: for tables read for every command. Each
// call site (each lambda) keeps its own value; references stay valid on the thread until
// the next change.
template <class TMake>
const auto& PerThreadTexts(TMake make) {
  using TValue = decltype(make());
  thread_local std::optional<TValue> value;
  thread_local unsigned generation = 0;
  const unsigned now = TranslationGeneration();
  if (!value || generation != now) {
    value.emplace(make());
    generation = now;
  }
  return *value;
}

// The folder the catalogues are read from.
std::string TranslationDirectory();

// The languages the texts can be shown in: the first is the system's choice (an empty
// code), then the source language and the translations.
struct TLanguageChoice {
  const char* Code;  // a LANGUAGE value; "" leaves the environment as it is
  const char* Name;  // shown in the language's own words
};
extern const TLanguageChoice kLanguageChoices[3];

// Chooses the language of the texts ("" for the system's, else a code of
// kLanguageChoices), and lets the LANGUAGE variable count even when the program's
// messages locale is plain "C". Call it before the first text is shown.
void SetLanguage(std::string_view code);

}  // namespace quillon
