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
using enum TTextEncoding;

// The reader's block size: lines, line ends and characters that straddle it are the cases
// most likely to break.
constexpr std::size_t kBlock = 1 << 20;

const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kBomUtf8 = "\xEF\xBB\xBF";
const std::string kBomUtf16LE = "\xFF\xFE";
const std::string kBomUtf16BE = "\xFE\xFF";

std::string Utf16(std::u16string_view text, bool littleEndian) {
  std::string out;
  for (char16_t u : text) {
    const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
    out += littleEndian ? lo : hi;
    out += littleEndian ? hi : lo;
  }
  return out;
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

  std::string Write(const std::string& bytes) {
    const std::string path = (FDir / "log.txt").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << path;
    return path;
  }

  // The lines of a file holding `bytes`; reading replaces what the list held.
  Lines Read(const std::string& bytes, TTextEncoding encoding = Windows1251) {
    Lines lines{"stale"};
    ReadTextLines(Write(bytes), encoding, lines);
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

const LineCase kLineCases[] = {{"", {}},
                               {"a", {"a"}},
                               {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
                               {"a\r\n", {"a"}},
                               {"a\n", {"a"}},
                               {"a\r", {"a"}},
                               {"a\n\n", {"a", ""}},
                               {"\r\r", {"", ""}},
                               {"a\n\rb", {"a", "", "b"}},
                               {"a\r\r\nb", {"a", "", "b"}},
                               {"  x \t\r\n\ty ", {"  x \t", "\ty "}},
                               {std::string("a\0b\nc", 5), {std::string("a\0b", 3), "c"}}};

TEST_F(TextFileTest, LinesEndAtCrLfLfOrCr) {
  for (const LineCase& c : kLineCases) {
    EXPECT_EQ(Read(c.text), c.lines) << testing::PrintToString(c.text);
    // With a byte-order mark the same text gives the same lines.
    EXPECT_EQ(Read(kBomUtf8 + c.text), c.lines) << testing::PrintToString(c.text);
    Lines split{"stale"};
    SplitTextLines(c.text, split);
    EXPECT_EQ(split, c.lines) << testing::PrintToString(c.text);
  }
}

// ---------------------------------------------------------------------------------------
// Encodings

TEST_F(TextFileTest, ByteOrderMarkDecidesTheEncoding) {
  const std::u16string text = u"При\r\nвет\n😀 €";
  const std::string le = Utf16(text, true), be = Utf16(text, false);
  const Lines lines{"При", "вет", "😀 €"};
  struct Case {
    std::string bytes;
    TTextEncoding asked, found;
    Lines lines;
  };
  // The mark wins over the encoding asked for; without one the encoding asked for is used.
  const Case cases[] = {
      {"\xCF\xF0\xE8\xE2\xE5\xF2\r\n\xB9 1", Windows1251, Windows1251, {"Привет", "№ 1"}},
      {"Пр", Windows1251, Windows1251, {"РџСЂ"}},
      {kBomUtf8 + "Ёж", Utf16LE, Utf8, {"Ёж"}},
      {kBomUtf16LE + le, Utf8, Utf16LE, lines},
      {kBomUtf16BE + be, Utf16LE, Utf16BE, lines},
      {"Ёж\nа", Utf8, Utf8, {"Ёж", "а"}},
      {le, Utf16LE, Utf16LE, lines},
      {be, Utf16BE, Utf16BE, lines},
      // A file holding only a mark, or nothing, has no lines.
      {kBomUtf8, Windows1251, Utf8, {}},
      {kBomUtf16LE, Windows1251, Utf16LE, {}},
      {kBomUtf16BE, Windows1251, Utf16BE, {}},
      {"", Utf16LE, Utf16LE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    TTextLineReader reader(Write(c.bytes), c.asked);
    EXPECT_EQ(reader.Encoding(), c.found);
    Lines read;
    for (std::string_view line; reader.Next(line);) read.emplace_back(line);
    EXPECT_EQ(read, c.lines);
  }
}

// A log's choice of encoding, for a file without a byte-order mark.
TEST_F(TextFileTest, LogEncodingChoice) {
  const std::string privet1251 = "\xCF\xF0\xE8\xE2\xE5\xF2", privet866 = "\x8F\xE0\xA8\xA2\xA5\xE2";
  const std::size_t kSample = 64 << 10;  // what the automatic choice judges
  const std::string a(kSample - 3, 'a');
  constexpr TLogEncoding Auto = TLogEncoding::Auto;
  struct Case {
    const char* name;
    std::string bytes;
    TLogEncoding asked;
    TTextEncoding found;
    Lines lines;
  };
  const Case cases[] = {
      {"1251", privet1251 + "\r\n\xB9 1", Auto, Windows1251, {"Привет", "№ 1"}},
      {"UTF-8", "Привет\r\nмир", Auto, Utf8, {"Привет", "мир"}},
      {"UTF-8 read as 1251 when asked", "Пр", TLogEncoding::Windows1251, Windows1251, {"РџСЂ"}},
      {"866 asked for", privet866 + "\n\xFC", TLogEncoding::Cp866, Cp866, {"Привет", "№"}},
      {"866 is not told from 1251", privet866, Auto, Windows1251, {Cp1251ToUtf8(privet866)}},
      {"plain ASCII", "plain\r\nASCII", Auto, Windows1251, {"plain", "ASCII"}},
      // Well-formed UTF-8 ("«X»") without a Cyrillic letter stays 1251.
      {"1251 that is UTF-8 too", "\xC2\xABX\xC2\xBB", Auto, Windows1251, {"В«XВ»"}},
      // The choice is made at the first line that is not plain ASCII, however far in.
      {"ASCII lines first", "first\r\nЖ", Auto, Utf8, {"first", "Ж"}},
      {"ASCII past the sample first", a + a + "\nЖ", Auto, Utf8, {a + a, "Ж"}},
      // A bad byte within the sample decides against UTF-8; one past it does not.
      {"a bad byte within the sample", "Ж\n\xFF", Auto, Windows1251, {"Р–", "я"}},
      {"a bad byte past the sample",
       "Ж\n" + a + "aaa\xFF",
       Auto,
       Utf8,
       {"Ж", a + "aaa" + kReplacement}},
      // The sample ends inside a letter.
      {"a letter cut by the sample's end", "Ж" + a + "Ж", Auto, Utf8, {"Ж" + a + "Ж"}},
      // A byte-order mark wins over any choice.
      {"UTF-8 mark", kBomUtf8 + "Ёж", TLogEncoding::Cp866, Utf8, {"Ёж"}},
      {"UTF-8 mark, 1251 asked for", kBomUtf8 + "\xC2\xAB", TLogEncoding::Windows1251, Utf8, {"«"}},
      {"UTF-16 mark", kBomUtf16LE + Utf16(u"Ёж", true), Auto, Utf16LE, {"Ёж"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTextLineReader reader(Write(c.bytes), c.asked);
    Lines read;
    for (std::string_view line; reader.Next(line);) read.emplace_back(line);
    EXPECT_EQ(reader.Encoding(), c.found);
    EXPECT_EQ(read, c.lines);
  }

  // The names of a menu and of quillon-cli's --encoding.
  for (const TLogEncodingName& name : LogEncodingNames()) {
    EXPECT_EQ(LogEncodingByCliName(name.CliName), name.Encoding) << name.CliName;
    EXPECT_EQ(LogEncodingName(name.Encoding).CliName, name.CliName);
  }
  EXPECT_EQ(LogEncodingByCliName("koi8"), std::nullopt);
}

TEST_F(TextFileTest, InvalidBytesBecomeReplacementCharacters) {
  const std::string r = kReplacement;
  EXPECT_EQ(Read("A\230B"), (Lines{"A" + r + "B"}));
  EXPECT_EQ(Read(kBomUtf8 + "A\377B\r\n\320"), (Lines{"A" + r + "B", r}));
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
    EXPECT_EQ(Read(std::string(k, 'a') + "\r\ntail"), (Lines{std::string(k, 'a'), "tail"}))
        << "CR LF at " << k;
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
  EXPECT_EQ(Read(before + "\r\n"), (Lines{before}));
  EXPECT_EQ(Read("x\n" + std::string(kBlock - 3, 'a') + "\r\n"),
            (Lines{"x", std::string(kBlock - 3, 'a')}));
}

TEST_F(TextFileTest, LongLinesSpanSeveralBlocks) {
  std::string expected;
  for (std::size_t i = 0; i < 2 * kBlock + 10; ++i) expected += "А";  // one byte each in 1251
  EXPECT_EQ(Read("first\r\n" + std::string(2 * kBlock + 10, '\xC0') + "\r\nlast"),
            (Lines{"first", expected, "last"}));

  TTextLineReader reader(Write(std::string(3 * kBlock + 5, 'z')));
  std::string_view line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(line.size(), 3 * kBlock + 5);
  EXPECT_FALSE(reader.Next(line));
  EXPECT_EQ(reader.BytesRead(), 3 * kBlock + 5);
  EXPECT_EQ(reader.FileSize(), 3 * kBlock + 5);
}

TEST_F(TextFileTest, CharactersAcrossTheBlockBoundary) {
  // UTF-8 (after a 3-byte mark): the first byte of a 2- and a 4-byte character at each
  // offset from 3 before to 1 after the boundary.
  for (std::size_t start = kBlock - 3; start <= kBlock + 1; ++start) {
    for (const std::string ch : {"Ж", "😀"}) {
      const std::string filler(start - kBomUtf8.size(), 'a');
      EXPECT_EQ(Read(kBomUtf8 + filler + ch + "\r\nz"), (Lines{filler + ch, "z"})) << start;
    }
  }
  // UTF-16: a surrogate pair, a CR LF and a high half without its low half, each starting
  // at byte 2 + 2 * units.
  for (bool le : {true, false}) {
    const std::string bom = le ? kBomUtf16LE : kBomUtf16BE;
    for (std::size_t units = kBlock / 2 - 3; units <= kBlock / 2; ++units) {
      SCOPED_TRACE((le ? "LE " : "BE ") + std::to_string(units));
      const std::u16string a(units, u'a');
      EXPECT_EQ(Read(bom + Utf16(a + u"😀\r\nz", le)), (Lines{std::string(units, 'a') + "😀", "z"}));
      EXPECT_EQ(Read(bom + Utf16(a + u"\r\nz", le)), (Lines{std::string(units, 'a'), "z"}));
      EXPECT_EQ(Read(bom + Utf16(a + char16_t{0xD83D} + u"d\nz", le)),
                (Lines{std::string(units, 'a') + kReplacement + "d", "z"}));
    }
  }
}

// Random logs of a few blocks: lines of every length, every kind of line end, and
// characters of the encoding spread over the block boundaries.
TEST_F(TextFileTest, RandomLogsReadBackExactly) {
  std::mt19937 rng(1251);
  for (TTextEncoding encoding : {Windows1251, Utf8, Utf16LE, Utf16BE}) {
    std::vector<char32_t> alphabet;
    for (char32_t c = 0x20; c < 0x7F; ++c) alphabet.push_back(c);
    for (char32_t c = 0x0410; c <= 0x044F; ++c) alphabet.push_back(c);
    alphabet.insert(alphabet.end(), {0x0401, 0x0451, 0x2116});
    if (encoding != Windows1251) alphabet.insert(alphabet.end(), {0x20AC, 0x1F600, 0x10437});

    std::string utf8;
    std::u16string utf16;
    const auto put = [&](char32_t c) {
      AppendUtf8(utf8, c);
      if (c < 0x10000) {
        utf16 += static_cast<char16_t>(c);
      } else {
        utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        utf16 += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
      }
    };
    Lines expected;
    const char* const endings[] = {"\r\n", "\n", "\r"};
    std::string previousEnd;
    while (utf16.size() < 2 * kBlock) {
      const std::size_t length = rng() % 40 == 0 ? rng() % 300000 : rng() % 120;
      const std::size_t start = utf8.size();
      for (std::size_t i = 0; i < length; ++i) put(alphabet[rng() % alphabet.size()]);
      expected.push_back(utf8.substr(start));
      std::string end = endings[rng() % 3];
      // An empty line after a lone CR must not end in LF, or the two would read as CR LF.
      if (previousEnd == "\r" && length == 0) end = "\r";
      for (char c : previousEnd = end) put(static_cast<char32_t>(c));
    }
    // A last line without an end.
    put(U'Я');
    expected.push_back("Я");
    const std::string bytes = encoding == Windows1251 ? Utf8ToCp1251(utf8)
                              : encoding == Utf8      ? kBomUtf8 + utf8
                              : encoding == Utf16LE   ? kBomUtf16LE + Utf16(utf16, true)
                                                      : kBomUtf16BE + Utf16(utf16, false);
    const Lines lines = Read(bytes);
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
  const std::string dir = FDir.string();
  for (const auto& [path, reason] :
       {std::pair{missing, "файл не найден"}, std::pair{dir, "это папка, а не файл"}}) {
    Lines lines{"kept"};
    try {
      ReadTextLines(path, Windows1251, lines);
      ADD_FAILURE() << "no error for " << path;
    } catch (const EQuillonError& e) {
      EXPECT_EQ(e.what(), "Не удалось открыть файл \"" + path + "\": " + reason);
    }
    EXPECT_EQ(lines, (Lines{"kept"}));
  }
}

}  // namespace
}  // namespace quillon
