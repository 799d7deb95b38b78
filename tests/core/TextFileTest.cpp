#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/CodePages.h"
#include "core/Errors.h"
#include "core/TextFile.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

// The reader's block size: lines, line ends and characters that straddle it are the cases
// most likely to break.
constexpr std::size_t kBlock = 1 << 20;

const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kBomUtf8 = "\xEF\xBB\xBF";
const std::string kBomUtf16LE = "\xFF\xFE";
const std::string kBomUtf16BE = "\xFE\xFF";

std::string Utf8(char32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

std::string Utf16(std::u16string_view text, bool littleEndian) {
  std::string out;
  for (char16_t u : text) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += littleEndian ? lo : hi;
    out += littleEndian ? hi : lo;
  }
  return out;
}

// The one code page 1251 byte of the characters the generated logs use.
char Cp1251Byte(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));
  if (cp == 0x0401) return '\xA8';
  if (cp == 0x0451) return '\xB8';
  if (cp == 0x2116) return '\xB9';
  ADD_FAILURE() << "no 1251 byte for " << static_cast<std::uint32_t>(cp);
  return '?';
}

std::string EncodeChar(char32_t cp, TTextEncoding encoding) {
  switch (encoding) {
    case TTextEncoding::Windows1251:
      return std::string(1, Cp1251Byte(cp));
    case TTextEncoding::Utf8:
      return Utf8(cp);
    case TTextEncoding::Utf16LE:
    case TTextEncoding::Utf16BE: {
      std::u16string units;
      if (cp >= 0x10000) {
        units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        units += static_cast<char16_t>(cp);
      }
      return Utf16(units, encoding == TTextEncoding::Utf16LE);
    }
  }
  return {};
}

bool HasCyrillic(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t cp = NextUtf8(text, pos);
    if (cp >= 0x0400 && cp <= 0x04FF) return true;
  }
  return false;
}

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    FDir = fs::temp_directory_path() /
           ("quillon-text-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(FDir, ec);
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (FDir / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
    return path;
  }

  Lines Read(const std::string& bytes, TTextEncoding encoding = TTextEncoding::Windows1251) {
    const std::string path = Write("log.txt", bytes);
    Lines lines;
    ReadTextLines(path, encoding, lines);
    return lines;
  }

  fs::path FDir;
};

// ---------------------------------------------------------------------------------------
// Line ends

struct LineCase {
  std::string text;
  Lines lines;
};

const LineCase kLineCases[] = {
    {"", {}},
    {"a", {"a"}},
    {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
    {"a\r\n", {"a"}},
    {"a\n", {"a"}},
    {"a\r", {"a"}},
    {"a\n\n", {"a", ""}},
    {"\n", {""}},
    {"\r\n\r\n", {"", ""}},
    {"\r\r", {"", ""}},
    {"a\n\rb", {"a", "", "b"}},
    {"a\r\r\nb", {"a", "", "b"}},
    {"  x \t\r\n\ty ", {"  x \t", "\ty "}},
    {std::string("a\0b\nc", 5), {std::string("a\0b", 3), "c"}},
};

TEST_F(TextFileTest, LinesEndAtCrLfLfOrCr) {
  for (const LineCase& c : kLineCases) {
    EXPECT_EQ(Read(c.text), c.lines) << testing::PrintToString(c.text);
    // With a byte-order mark the same text gives the same lines.
    EXPECT_EQ(Read(kBomUtf8 + c.text), c.lines) << testing::PrintToString(c.text);
  }
  // LF-only files give the same lines as CR LF files.
  EXPECT_EQ(Read("one\ntwo\n\nfour\n"), Read("one\r\ntwo\r\n\r\nfour\r\n"));
}

TEST(SplitTextLines, LinesEndAtCrLfLfOrCr) {
  for (const LineCase& c : kLineCases) {
    Lines lines{"stale"};
    SplitTextLines(c.text, lines);
    EXPECT_EQ(lines, c.lines) << testing::PrintToString(c.text);
  }
  Lines lines;
  SplitTextLines("Привет\r\nмир", lines);
  EXPECT_EQ(lines, (Lines{"Привет", "мир"}));
}

TEST_F(TextFileTest, ReadingReplacesTheListContents) {
  const std::string path = Write("a.log", "x\r\ny");
  Lines lines{"old 1", "old 2", "old 3"};
  ReadTextLines(path, TTextEncoding::Windows1251, lines);
  EXPECT_EQ(lines, (Lines{"x", "y"}));
  const std::string empty = Write("empty.log", "");
  ReadTextLines(empty, TTextEncoding::Windows1251, lines);
  EXPECT_EQ(lines, Lines());
}

// ---------------------------------------------------------------------------------------
// Encodings

TEST_F(TextFileTest, ByteOrderMarkDecidesTheEncoding) {
  EXPECT_EQ(Read("\xCF\xF0\xE8\xE2\xE5\xF2\r\n\xB9 1\r\n"), (Lines{"Привет", "№ 1"}));

  // UTF-8 with a mark is UTF-8; the same bytes without it are Windows-1251.
  EXPECT_EQ(Read(kBomUtf8 + "Привет\r\nЁж"), (Lines{"Привет", "Ёж"}));
  EXPECT_EQ(Read("Пр"), (Lines{"РџСЂ"}));

  const std::u16string text = u"При\r\nвет\n😀 €";
  const Lines expected{"При", "вет", "😀 €"};
  EXPECT_EQ(Read(kBomUtf16LE + Utf16(text, true)), expected);
  EXPECT_EQ(Read(kBomUtf16BE + Utf16(text, false)), expected);

  // The mark wins over the encoding asked for.
  EXPECT_EQ(Read(kBomUtf8 + "Ёж", TTextEncoding::Utf16LE), (Lines{"Ёж"}));
  EXPECT_EQ(Read(kBomUtf16LE + Utf16(text, true), TTextEncoding::Utf8), expected);
  EXPECT_EQ(Read(kBomUtf16BE + Utf16(text, false), TTextEncoding::Utf16LE), expected);
  EXPECT_EQ(Read(kBomUtf16LE + Utf16(text, true), TTextEncoding::Windows1251), expected);

  // Without a mark the encoding asked for is used.
  EXPECT_EQ(Read("Ёж\nа", TTextEncoding::Utf8), (Lines{"Ёж", "а"}));
  EXPECT_EQ(Read(Utf16(text, true), TTextEncoding::Utf16LE), expected);
  EXPECT_EQ(Read(Utf16(text, false), TTextEncoding::Utf16BE), expected);

  const std::pair<std::string, TTextEncoding> marks[] = {
      {kBomUtf8 + "x", TTextEncoding::Utf8},
      {kBomUtf16LE + Utf16(u"x", true), TTextEncoding::Utf16LE},
      {kBomUtf16BE + Utf16(u"x", false), TTextEncoding::Utf16BE},
      {"x", TTextEncoding::Windows1251},
  };
  for (const auto& [bytes, encoding] : marks) {
    const std::string path = Write("mark.log", bytes);
    TTextLineReader reader(path, TTextEncoding::Windows1251);
    EXPECT_EQ(reader.Encoding(), encoding) << testing::PrintToString(bytes);
    std::string_view line;
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "x");
    EXPECT_FALSE(reader.Next(line));
  }
}

TEST_F(TextFileTest, AFileHoldingOnlyAMarkHasNoLines) {
  EXPECT_EQ(Read(kBomUtf8), Lines());
  EXPECT_EQ(Read(kBomUtf16LE), Lines());
  EXPECT_EQ(Read(kBomUtf16BE), Lines());
  // An empty file is read in the encoding asked for and has no lines either.
  EXPECT_EQ(Read("", TTextEncoding::Utf16LE), Lines());
}

TEST_F(TextFileTest, InvalidBytesBecomeReplacementCharacters) {
  const std::string r = kReplacement;
  EXPECT_EQ(Read("A\x98"
                 "B"),
            (Lines{"A" + r + "B"}));
  EXPECT_EQ(Read(kBomUtf8 + "A\xFF"
                            "B\r\n\xD0"),
            (Lines{"A" + r + "B", r}));
  EXPECT_EQ(Read(kBomUtf8 + "\xD0\r\nok"), (Lines{r, "ok"}));

  // UTF-16: a lone low half, a high half without its low half, a high half at the end.
  const std::u16string bad = {u'A', 0xDC00, u'B', 0xD800, u'C', u'\n', 0xD800};
  const Lines expected{"A" + r + "B" + r + "C", r};
  EXPECT_EQ(Read(kBomUtf16LE + Utf16(bad, true)), expected);
  EXPECT_EQ(Read(kBomUtf16BE + Utf16(bad, false)), expected);
  // An odd byte at the end.
  EXPECT_EQ(Read(kBomUtf16LE + Utf16(u"AB", true) + "\x43"), (Lines{"AB" + r}));
}

// ---------------------------------------------------------------------------------------
// Block boundaries

TEST_F(TextFileTest, LineEndsAcrossTheBlockBoundary) {
  // CR LF starting just before, on and just after the boundary.
  for (std::size_t k : {kBlock - 3, kBlock - 2, kBlock - 1, kBlock, kBlock + 1}) {
    const Lines lines = Read(std::string(k, 'a') + "\r\ntail");
    ASSERT_EQ(lines.size(), 2u) << "CR LF at " << k;
    EXPECT_EQ(lines[0], std::string(k, 'a')) << "CR LF at " << k;
    EXPECT_EQ(lines[1], "tail") << "CR LF at " << k;
  }
  const std::string before(kBlock - 1, 'a');
  // A CR that ends the first block and is not followed by LF.
  EXPECT_EQ(Read(before + "\rb\r\n"), (Lines{before, "b"}));
  EXPECT_EQ(Read(before + "\r\r\nb"), (Lines{before, "", "b"}));
  EXPECT_EQ(Read(before + "\r\n\nb"), (Lines{before, "", "b"}));
  EXPECT_EQ(Read(before + "\n\r\nb"), (Lines{before, "", "b"}));
  EXPECT_EQ(Read(before + "\n\rb"), (Lines{before, "", "b"}));
  // Files of exactly one block.
  EXPECT_EQ(Read(before + "\r"), (Lines{before}));
  EXPECT_EQ(Read(before + "\n"), (Lines{before}));
  EXPECT_EQ(Read(before + "b"), (Lines{before + "b"}));
  EXPECT_EQ(Read(before + "bc"), (Lines{before + "bc"}));
  EXPECT_EQ(Read(before + "\r\n"), (Lines{before}));
  EXPECT_EQ(Read("x\n" + std::string(kBlock - 3, 'a') + "\r\n"),
            (Lines{"x", std::string(kBlock - 3, 'a')}));
}

TEST_F(TextFileTest, LongLinesSpanSeveralBlocks) {
  const std::string cyrillic(2 * kBlock + 10, '\xC0');  // А, one byte each in 1251
  std::string expected;
  for (std::size_t i = 0; i < cyrillic.size(); ++i) expected += "А";
  const Lines lines = Read("first\r\n" + cyrillic + "\r\nlast");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "first");
  EXPECT_EQ(lines[1], expected);
  EXPECT_EQ(lines[2], "last");

  const std::string path = Write("big.log", std::string(3 * kBlock + 5, 'z'));
  TTextLineReader reader(path);
  std::string_view line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line.size(), 3 * kBlock + 5);
  EXPECT_FALSE(reader.Next(line));
  EXPECT_EQ(reader.BytesRead(), 3 * kBlock + 5);
  EXPECT_EQ(reader.FileSize(), 3 * kBlock + 5);
}

TEST_F(TextFileTest, Utf8CharactersAcrossTheBlockBoundary) {
  // The mark takes 3 bytes; put the first byte of a 2- and a 4-byte character at each
  // offset from 3 before to 1 after the boundary.
  for (std::size_t start = kBlock - 3; start <= kBlock + 1; ++start) {
    for (const std::string ch : {"Ж", "😀"}) {
      const std::string filler(start - kBomUtf8.size(), 'a');
      const Lines lines = Read(kBomUtf8 + filler + ch + "\r\nz");
      ASSERT_EQ(lines.size(), 2u) << start;
      EXPECT_EQ(lines[0], filler + ch) << "character at " << start;
      EXPECT_EQ(lines[1], "z");
    }
  }
}

TEST_F(TextFileTest, Utf16AcrossTheBlockBoundary) {
  for (bool le : {true, false}) {
    const std::string bom = le ? kBomUtf16LE : kBomUtf16BE;
    for (std::size_t units = kBlock / 2 - 3; units <= kBlock / 2; ++units) {
      // A surrogate pair whose high half starts at byte 2 + 2 * units.
      std::u16string text(units, u'a');
      text += u"😀\r\nz";
      const Lines lines = Read(bom + Utf16(text, le));
      ASSERT_EQ(lines.size(), 2u) << units;
      EXPECT_EQ(lines[0], std::string(units, 'a') + "😀") << (le ? "LE " : "BE ") << units;
      EXPECT_EQ(lines[1], "z");

      // CR LF at the same place.
      std::u16string crlf(units, u'b');
      crlf += u"\r\nz";
      EXPECT_EQ(Read(bom + Utf16(crlf, le)), (Lines{std::string(units, 'b'), "z"}))
          << (le ? "LE " : "BE ") << units;

      // A high half at the boundary followed by no low half.
      std::u16string broken(units, u'c');
      broken += char16_t{0xD83D};
      broken += u"d\nz";
      EXPECT_EQ(Read(bom + Utf16(broken, le)),
                (Lines{std::string(units, 'c') + kReplacement + "d", "z"}))
          << (le ? "LE " : "BE ") << units;
    }
  }
}

// Random logs of a few blocks: lines of every length, every kind of line end, and
// characters of the encoding spread over the block boundaries.
TEST_F(TextFileTest, RandomLogsReadBackExactly) {
  const TTextEncoding encodings[] = {TTextEncoding::Windows1251, TTextEncoding::Utf8,
                                     TTextEncoding::Utf16LE, TTextEncoding::Utf16BE};
  std::mt19937 rng(1251);
  for (TTextEncoding encoding : encodings) {
    std::vector<char32_t> alphabet;
    for (char32_t c = 0x20; c < 0x7F; ++c) alphabet.push_back(c);
    for (char32_t c = 0x0410; c <= 0x044F; ++c) alphabet.push_back(c);
    alphabet.insert(alphabet.end(), {0x0401, 0x0451, 0x2116});
    if (encoding != TTextEncoding::Windows1251)
      alphabet.insert(alphabet.end(), {0x20AC, 0x1F600, 0x10437, 0xFFFC});

    std::string bytes;
    switch (encoding) {
      case TTextEncoding::Utf8:
        bytes = kBomUtf8;
        break;
      case TTextEncoding::Utf16LE:
        bytes = kBomUtf16LE;
        break;
      case TTextEncoding::Utf16BE:
        bytes = kBomUtf16BE;
        break;
      default:
        break;
    }
    Lines expected;
    const char* const endings[] = {"\r\n", "\n", "\r"};
    std::string previousEnd;
    while (bytes.size() < 3 * kBlock) {
      const std::size_t length = rng() % 40 == 0 ? rng() % 300000 : rng() % 120;
      std::string line;
      for (std::size_t i = 0; i < length; ++i) {
        const char32_t c = alphabet[rng() % alphabet.size()];
        line += Utf8(c);
        bytes += EncodeChar(c, encoding);
      }
      std::string end = endings[rng() % 3];
      // An empty line after a lone CR must not end in LF, or the two would read as CR LF.
      if (previousEnd == "\r" && length == 0 && end != "\r") end = "\r";
      for (char c : end) bytes += EncodeChar(static_cast<char32_t>(c), encoding);
      previousEnd = end;
      expected.push_back(line);
    }
    // A last line without an end.
    bytes += EncodeChar(U'Я', encoding);
    expected.push_back("Я");

    const Lines lines = Read(bytes, TTextEncoding::Windows1251);
    ASSERT_EQ(lines.size(), expected.size()) << static_cast<int>(encoding);
    for (std::size_t i = 0; i < lines.size(); ++i)
      ASSERT_EQ(lines[i], expected[i])
          << "encoding " << static_cast<int>(encoding) << ", line " << i;
  }
}

// ---------------------------------------------------------------------------------------
// Opening

TEST_F(TextFileTest, AFileThatCannotBeOpenedRaisesAndLeavesTheListAlone) {
  const std::string missing = (FDir / "нет такого.log").string();
  Lines lines{"kept"};
  try {
    ReadTextLines(missing, TTextEncoding::Windows1251, lines);
    ADD_FAILURE() << "no error for a missing file";
  } catch (const EQuillonError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(missing), std::string::npos) << message;
    EXPECT_TRUE(HasCyrillic(message.substr(0, message.find(missing)))) << message;
  }
  EXPECT_EQ(lines, (Lines{"kept"}));

  const std::string dir = FDir.string();
  try {
    ReadTextLines(dir, TTextEncoding::Windows1251, lines);
    ADD_FAILURE() << "no error for a directory";
  } catch (const EQuillonError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(dir), std::string::npos) << message;
    EXPECT_TRUE(HasCyrillic(message)) << message;
  }
  EXPECT_EQ(lines, (Lines{"kept"}));

  EXPECT_THROW(TTextLineReader reader(missing), EQuillonError);
}

TEST_F(TextFileTest, AFileStillOpenForWritingCanBeRead) {
  const std::string path = (FDir / "driver.log").string();
  std::ofstream writer(path, std::ios::binary);
  writer << "first\r\nsecond\r\n" << std::flush;
  Lines lines;
  ReadTextLines(path, TTextEncoding::Windows1251, lines);
  EXPECT_EQ(lines, (Lines{"first", "second"}));

  // The driver goes on writing; the next load sees the new line, partial last line included.
  writer << "third\r\nfou" << std::flush;
  ReadTextLines(path, TTextEncoding::Windows1251, lines);
  EXPECT_EQ(lines, (Lines{"first", "second", "third", "fou"}));
  EXPECT_TRUE(writer.good());

  writer << "rth\r\n" << std::flush;
  ReadTextLines(path, TTextEncoding::Windows1251, lines);
  EXPECT_EQ(lines, (Lines{"first", "second", "third", "fourth"}));
}

}  // namespace
}  // namespace quillon
