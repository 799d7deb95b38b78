#include "core/Translate.h"

#include <libintl.h>

#include <mutex>

namespace quillon {

namespace {

std::once_flag gBound;

void BindOnce() {
  std::call_once(gBound, [] {
#ifdef QUILLON_LOCALEDIR
    bindtextdomain(kTextDomain, QUILLON_LOCALEDIR);
#endif
    bind_textdomain_codeset(kTextDomain, "UTF-8");
  });
}

}  // namespace

std::string Tr(const char* msgid) {
  BindOnce();
  return dgettext(kTextDomain, msgid);
}

void SetTranslationDirectory(const std::string& dir) {
  BindOnce();
  bindtextdomain(kTextDomain, dir.c_str());
}

}  // namespace quillon
