#include "core/Translate.h"

#include <libintl.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>
#include <unordered_map>

namespace quillon {

const TLanguageChoice kLanguageChoices[3] = {
    {"", N_("Как в системе")}, {"ru", "Русский"}, {"en", "English"}};

namespace {

std::once_flag gBound;
// Bumped whenever the catalogue may have changed; per-thread caches then start afresh.
std::atomic<unsigned> gGeneration{0};

bool HoldsCatalogues(const std::filesystem::path& dir) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    if (std::filesystem::exists(entry.path() / "LC_MESSAGES" / (std::string(kTextDomain) + ".mo"),
                                error))
      return true;
  }
  return false;
}

std::string FindCatalogues() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path folder = program.parent_path();
    for (const auto& dir : {folder / "locale", folder.parent_path() / "share" / "locale"}) {
      if (HoldsCatalogues(dir)) return dir.string();
    }
  }
#ifdef QUILLON_LOCALEDIR
  return QUILLON_LOCALEDIR;
#else
  return {};
#endif
}

void BindOnce() {
  std::call_once(gBound, [] {
    const std::string dir = FindCatalogues();
    if (!dir.empty()) bindtextdomain(kTextDomain, dir.c_str());
    bind_textdomain_codeset(kTextDomain, "UTF-8");
  });
}

struct TTextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// The decoders look up the same few hundred texts for every command; the catalogue
// lookup takes a process-wide lock, so every thread keeps the answers it has had.
struct TCache {
  unsigned Generation = ~0u;
  std::unordered_map<std::string, std::string, TTextHash, std::equal_to<>> Texts;
};

}  // namespace

const std::string& Tr(const char* msgid) {
  BindOnce();
  thread_local TCache cache;
  unsigned generation = gGeneration.load(std::memory_order_acquire);
  if (cache.Generation != generation) {
    cache.Texts.clear();
    cache.Generation = generation;
  }
  std::string_view key(msgid);
  if (auto it = cache.Texts.find(key); it != cache.Texts.end()) return it->second;
  return cache.Texts.emplace(key, dgettext(kTextDomain, msgid)).first->second;
}

void SetTranslationDirectory(const std::string& dir) {
  BindOnce();
  bindtextdomain(kTextDomain, dir.c_str());
  gGeneration.fetch_add(1, std::memory_order_acq_rel);
}

unsigned TranslationGeneration() {
  return gGeneration.load(std::memory_order_acquire);
}

std::string TranslationDirectory() {
  BindOnce();
  const char* dir = bindtextdomain(kTextDomain, nullptr);
  return dir != nullptr ? dir : std::string();
}

void SetLanguage(std::string_view code) {
  BindOnce();
  if (!code.empty()) setenv("LANGUAGE", std::string(code).c_str(), 1);
  // gettext leaves LANGUAGE aside while the messages locale is "C"; C.UTF-8 is the same
  // locale for everything else and lets it count.
  const char* variable = std::getenv("LANGUAGE");
  const char* messages = std::setlocale(LC_MESSAGES, nullptr);
  if (variable != nullptr && *variable != '\0' && messages != nullptr &&
      (std::strcmp(messages, "C") == 0 || std::strcmp(messages, "POSIX") == 0))
    std::setlocale(LC_MESSAGES, "C.UTF-8");
  gGeneration.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace quillon
