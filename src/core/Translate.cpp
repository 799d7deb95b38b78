#include "core/Translate.h"

#include <libintl.h>

#include <atomic>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace quillon {

namespace {

std::once_flag gBound;
// Bumped whenever the catalogue may have changed; per-thread caches then start afresh.
std::atomic<unsigned> gGeneration{0};

void BindOnce() {
  std::call_once(gBound, [] {
#ifdef QUILLON_LOCALEDIR
    bindtextdomain(kTextDomain, QUILLON_LOCALEDIR);
#endif
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

}  // namespace quillon
