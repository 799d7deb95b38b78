#include "player/PlaybackTexts.h"

#include <charconv>
#include <vector>

#include "core/Translate.h"

namespace quillon {

namespace {

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t start = text.find_first_not_of(' ', pos);
    if (start == std::string_view::npos) break;
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    words.push_back(text.substr(start, end - start));
    pos = end;
  }
  return words;
}

bool ToInt(std::string_view text, int& value) {
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

std::string Progress(const TCommandList& commands, int index, int pass) {
  std::string name;
  if (index >= 0 && static_cast<std::size_t>(index) < commands.Count())
    name = commands[static_cast<std::size_t>(index)].CommandName();
  std::string text;
  if (pass >= 0) {
    text += Tr("Цикл ");
    text += std::to_string(pass);
    text += ' ';
  }
  text += '(';
  text += std::to_string(index + 1);
  text += '/';
  text += std::to_string(commands.Count());
  text += ") ";
  text += name;
  return text;
}

}  // namespace

std::string CommandRunStatus(const TCommandList& commands, std::string_view message) {
  std::vector<std::string_view> words = Words(message);
  int index = 0, pass = -1;
  if (words.empty() || !ToInt(words[0], index)) return {};
  if (words.size() >= 2 && !ToInt(words[1], pass)) pass = -1;
  return Progress(commands, index, pass);
}

std::string ErrorStatus(const TCommandList& commands, std::string_view message) {
  std::vector<std::string_view> words = Words(message);
  int index = 0, pass = -1;
  if (words.empty() || !ToInt(words[0], index)) return {};
  if (index < 0) index = 0;
  std::string_view error;
  if (words.size() >= 3) {
    if (!ToInt(words[1], pass)) pass = -1;
    // Everything after the pass number is the error text.
    error = message.substr(static_cast<std::size_t>(words[2].data() - message.data()));
  } else if (words.size() == 2) {
    error = words[1];
  }
  return Progress(commands, index, pass) + Tr(": Ошибка: ") + std::string(error);
}

int ExtractErrorCode(std::string_view message) {
  std::size_t blank = message.find(' ');
  std::size_t comma = message.find(',');
  if (blank == std::string_view::npos || comma == std::string_view::npos || comma < blank)
    return -1;
  std::string_view code = message.substr(blank + 1, comma - blank - 1);
  while (!code.empty() && code.front() == ' ') code.remove_prefix(1);
  while (!code.empty() && code.back() == ' ') code.remove_suffix(1);
  int value = 0;
  return ToInt(code, value) ? value : -1;
}

}  // namespace quillon
