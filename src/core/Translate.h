// Translation of the program's resource texts through the message catalogue of the
// "quillon" text domain. Russian is the source language: without a catalogue the
// Russian text comes back unchanged.
#pragma once

#include <string>

namespace quillon {

inline constexpr const char* kTextDomain = "quillon";

// The translated text of msgid (UTF-8). The reference stays valid on this thread until
// the catalogue folder is changed.
const std::string& Tr(const char* msgid);

// Points the text domain at a folder of catalogues (LOCALE/LC_MESSAGES/quillon.mo).
void SetTranslationDirectory(const std::string& dir);

}  // namespace quillon
