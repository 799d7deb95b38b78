#include "core/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/CodePages.h"
#include "core/Errors.h"
#include "core/Translate.h"

namespace quillon {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
// How much text Auto judges the encoding on.
constexpr std::size_t kEncodingSample = 64 << 10;

constexpr TLogEncodingName kLogEncodings[] = {
    {TLogEncoding::Auto, "auto", N_("Автоматически")},
    {TLogEncoding::Windows1251, "cp1251", "Windows-1251"},
    {TLogEncoding::Utf8, "utf8", "UTF-8"},
    {TLogEncoding::Cp866, "cp866", "CP866"},
};

TTextEncoding ReadAs(TLogEncoding encoding) {
  switch (encoding) {
    case TLogEncoding::Utf8:
      return TTextEncoding::Utf8;
    case TLogEncoding::Cp866:
      return TTextEncoding::Cp866;
    default:
      return TTextEncoding::Windows1251;
  }
}

std::string ErrnoText(int err) {
  switch (err) {
    case ENOENT:
      return Tr("файл не найден");
    case EACCES:
    case EPERM:
      return Tr("нет прав на чтение");
    case EISDIR:
      return Tr("это папка, а не файл");
    default:
      return std::strerror(err);
  }
}

[[noreturn]] void RaiseFileError(const char* what, const std::string& fileName, int err) {
  throw EQuillonError(Tr(what) + " \"" + fileName + "\": " + ErrnoText(err));
}

bool HasHighBytes(std::string_view s) {
  unsigned char acc = 0;
  for (char c : s) acc |= static_cast<unsigned char>(c);
  return (acc & 0x80) != 0;
}

// Where the next line ends: the first CR or LF at or after `from`, or npos.
std::size_t FindLineEnd(const std::string& buf, std::size_t from) {
  const char* base = buf.data();
  std::size_t size = buf.size() - from;
  const void* lf = std::memchr(base + from, '\n', size);
  std::size_t limit =
      lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - base) : buf.size();
  const void* cr = std::memchr(base + from, '\r', limit - from);
  if (cr != nullptr) return static_cast<std::size_t>(static_cast<const char*>(cr) - base);
  return lf ? limit : std::string::npos;
}

}  // namespace

std::span<const TLogEncodingName> LogEncodingNames() {
  return kLogEncodings;
}

const TLogEncodingName& LogEncodingName(TLogEncoding encoding) {
  for (const TLogEncodingName& name : kLogEncodings)
    if (name.Encoding == encoding) return name;
  return kLogEncodings[0];
}

std::optional<TLogEncoding> LogEncodingByCliName(std::string_view cliName) {
  for (const TLogEncodingName& name : kLogEncodings)
    if (cliName == name.CliName) return name.Encoding;
  return std::nullopt;
}

TTextLineReader::TTextLineReader(const std::string& fileName, TLogEncoding encoding)
    : TTextLineReader(fileName, ReadAs(encoding)) {
  // A byte-order mark has chosen already when the encoding is not the one asked for.
  FChoosing = encoding == TLogEncoding::Auto && FEncoding == TTextEncoding::Windows1251;
}

TTextLineReader::TTextLineReader(const std::string& fileName, TTextEncoding encoding)
    : FFileName(fileName), FEncoding(TTextEncoding::Windows1251) {
  FHandle = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (FHandle < 0) RaiseFileError(N_("Не удалось открыть файл"), fileName, errno);
  struct stat st {};
  if (::fstat(FHandle, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(FHandle);
      FHandle = -1;
      RaiseFileError(N_("Не удалось открыть файл"), fileName, EISDIR);
    }
    FFileSize = static_cast<std::uint64_t>(st.st_size);
    FFileId = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }
  FRaw.resize(kBlockSize);
  // The first block is read as raw bytes; the byte-order mark, if any, decides the encoding.
  if (!Fill()) {
    FEncoding = encoding;
    return;
  }
  std::string_view head = FBuffer;
  if (head.substr(0, 3) == "\xEF\xBB\xBF") {
    FEncoding = TTextEncoding::Utf8;
    FPos = 3;
  } else if (head.substr(0, 2) == "\xFF\xFE" || head.substr(0, 2) == "\xFE\xFF") {
    FEncoding = head[0] == '\xFF' ? TTextEncoding::Utf16LE : TTextEncoding::Utf16BE;
    std::string raw = FBuffer.substr(2);
    FBuffer.clear();
    DecodeUtf16(raw);
  } else {
    FEncoding = encoding;
    if (encoding == TTextEncoding::Utf16LE || encoding == TTextEncoding::Utf16BE) {
      std::string raw = std::move(FBuffer);
      FBuffer.clear();
      DecodeUtf16(raw);
    }
  }
}

TTextLineReader::~TTextLineReader() {
  if (FHandle >= 0) ::close(FHandle);
}

bool TTextLineReader::Fill() {
  if (FEof) return false;
  ssize_t n;
  do {
    n = ::read(FHandle, FRaw.data(), FRaw.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) RaiseFileError(N_("Ошибка чтения файла"), FFileName, errno);
  if (n == 0) {
    if (FFollowing) return false;  // more may come; a UTF-16 byte left over waits for its pair
    FEof = true;
    if (!FCarry.empty()) {
      // An odd byte at the end of a UTF-16 file.
      FCarry.clear();
      AppendUtf8(FBuffer, 0xFFFD);
      return true;
    }
    return false;
  }
  FBytesRead += static_cast<std::uint64_t>(n);
  std::string_view block(FRaw.data(), static_cast<std::size_t>(n));
  // Keep what was not handed out yet; drop the rest.
  if (FPos > 0) {
    FBuffer.erase(0, FPos);
    FPos = 0;
  }
  if (FEncoding == TTextEncoding::Utf16LE || FEncoding == TTextEncoding::Utf16BE)
    DecodeUtf16(block);
  else
    FBuffer.append(block);
  return true;
}

void TTextLineReader::DecodeUtf16(std::string_view raw) {
  std::string bytes = FCarry;
  bytes.append(raw);
  FCarry.clear();
  bool le = FEncoding == TTextEncoding::Utf16LE;
  std::size_t i = 0;
  auto unit = [&](std::size_t at) -> char32_t {
    auto a = static_cast<unsigned char>(bytes[at]), b = static_cast<unsigned char>(bytes[at + 1]);
    return le ? (a | (b << 8)) : ((a << 8) | b);
  };
  while (i + 1 < bytes.size()) {
    char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 3 >= bytes.size()) break;  // the pair's second half is in the next block
      char32_t v = unit(i + 2);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        AppendUtf8(FBuffer, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        i += 4;
        continue;
      }
      AppendUtf8(FBuffer, 0xFFFD);
      i += 2;
      continue;
    }
    AppendUtf8(FBuffer, (u >= 0xDC00 && u <= 0xDFFF) ? 0xFFFD : u);
    i += 2;
  }
  FCarry.assign(bytes, i, std::string::npos);
}

void TTextLineReader::SetFollowing(bool following) {
  FFollowing = following;
  if (following) FEof = false;
}

void TTextLineReader::ChooseEncoding(std::string_view raw) {
  FChoosing = false;
  const auto from = static_cast<std::size_t>(raw.data() - FBuffer.data());
  if (LooksLikeCyrillicUtf8(std::string_view(FBuffer).substr(from, kEncodingSample)))
    FEncoding = TTextEncoding::Utf8;
}

std::string_view TTextLineReader::Convert(std::string_view raw) {
  if (FEncoding == TTextEncoding::Utf16LE || FEncoding == TTextEncoding::Utf16BE ||
      !HasHighBytes(raw))
    return raw;
  if (FChoosing) ChooseEncoding(raw);
  FScratch.clear();
  if (FEncoding == TTextEncoding::Windows1251) {
    AppendCp1251AsUtf8(FScratch, raw);
  } else if (FEncoding == TTextEncoding::Cp866) {
    AppendCp866AsUtf8(FScratch, raw);
  } else {
    std::size_t pos = 0;
    while (pos < raw.size()) AppendUtf8(FScratch, NextUtf8(raw, pos));
  }
  return FScratch;
}

void TTextLineReader::KeepLine(std::string_view line) {
  if (line.data() != FScratch.data()) FScratch.assign(line);
}

bool TTextLineReader::Next(std::string_view& line) {
  for (;;) {
    if (FSkipLf && FPos < FBuffer.size()) {
      if (FBuffer[FPos] == '\n') ++FPos;
      FSkipLf = false;
    }
    std::size_t end = FindLineEnd(FBuffer, FPos);
    if (end != std::string::npos && !(FBuffer[end] == '\r' && end + 1 == FBuffer.size() && !FEof)) {
      std::string_view raw(FBuffer.data() + FPos, end - FPos);
      std::size_t next = end + 1;
      if (FBuffer[end] == '\r' && next < FBuffer.size() && FBuffer[next] == '\n') ++next;
      FPos = next;
      line = Convert(raw);
      return true;
    }
    if (end != std::string::npos) {
      // A CR at the very end of the block: the LF that may follow is in the next block.
      std::string_view raw(FBuffer.data() + FPos, end - FPos);
      KeepLine(Convert(raw));
      FPos = end + 1;
      FSkipLf = true;
      // Following, the LF may still come.
      if (!Fill() && !FFollowing) FSkipLf = false;
      line = FScratch;
      return true;
    }
    if (!Fill()) {
      if (FPos >= FBuffer.size() || FFollowing) return false;
      std::string_view raw(FBuffer.data() + FPos, FBuffer.size() - FPos);
      KeepLine(Convert(raw));
      FPos = FBuffer.size();
      line = FScratch;
      return true;
    }
  }
}

void ReadTextLines(const std::string& fileName, TTextEncoding encoding,
                   std::vector<std::string>& lines) {
  TTextLineReader reader(fileName, encoding);
  lines.clear();
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
}

void SplitTextLines(std::string_view text, std::vector<std::string>& lines) {
  lines.clear();
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(pos));
      break;
    }
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
}

}  // namespace quillon
