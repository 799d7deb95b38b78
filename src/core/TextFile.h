// Reading log files as text lines. A byte-order mark decides the encoding (UTF-8,
// UTF-16 LE or BE); otherwise the given one is used, Windows-1251 for driver logs. Lines
// end at CR LF, LF or CR; bytes that are invalid in the encoding become U+FFFD.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class TTextEncoding { Windows1251, Utf8, Utf16LE, Utf16BE, Cp866 };

// The encoding a log file is read in when it has no byte-order mark (a mark always wins).
// Auto takes UTF-8 when the text is well-formed UTF-8 with Cyrillic letters in it
// (LooksLikeCyrillicUtf8, src/core/CodePages.h) and Windows-1251 otherwise, judged on up to
// 64 KiB read from the first line that is not plain ASCII (up to there both read the same).
enum class TLogEncoding { Auto, Windows1251, Utf8, Cp866 };

struct TLogEncodingName {
  TLogEncoding Encoding;
  const char* CliName;   // quillon-cli's --encoding value
  const char* MenuText;  // Russian, to be shown through Tr()
};

// Every choice, in the order of a menu, Auto first.
std::span<const TLogEncodingName> LogEncodingNames();
const TLogEncodingName& LogEncodingName(TLogEncoding encoding);
std::optional<TLogEncoding> LogEncodingByCliName(std::string_view cliName);

// A file's identity on its file system: another one after the file was replaced.
struct TFileId {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  friend bool operator==(const TFileId&, const TFileId&) = default;
};

// Reads a file line by line in large blocks; lines come out as UTF-8. The file is opened
// read-only, so a driver that is still writing its log does not mind.
class TTextLineReader {
 public:
  // Raises EQuillonError with a message naming the file when it cannot be opened.
  explicit TTextLineReader(const std::string& fileName,
                           TTextEncoding encoding = TTextEncoding::Windows1251);
  // The same with a log's choice of encoding.
  TTextLineReader(const std::string& fileName, TLogEncoding encoding);
  ~TTextLineReader();
  TTextLineReader(const TTextLineReader&) = delete;
  TTextLineReader& operator=(const TTextLineReader&) = delete;

  // The next line, valid until the next call; false at the end of the file. Raises
  // EQuillonError when reading fails.
  bool Next(std::string_view& line);

  // For a file that is still being written. While on, a line at the end of what the file
  // holds that has no line end yet is kept back (it may still grow), and Next, once it gave
  // false, reads on when it is called again and the file has grown. Turned off, the next
  // call hands out the line kept back as the last one.
  void SetFollowing(bool following);

  // Windows-1251 under Auto until the first line that is not plain ASCII decides.
  TTextEncoding Encoding() const { return FEncoding; }
  std::uint64_t BytesRead() const { return FBytesRead; }
  std::uint64_t FileSize() const { return FFileSize; }  // when it was opened
  TFileId FileId() const { return FFileId; }

 private:
  bool Fill();  // reads the next block; false at the end of the file
  void DecodeUtf16(std::string_view raw);
  std::string_view Convert(std::string_view raw);
  void ChooseEncoding(std::string_view raw);  // Auto: from the text at raw (in FBuffer)
  void KeepLine(std::string_view line);       // copies a line that points into FBuffer

  std::string FFileName;
  int FHandle = -1;
  TTextEncoding FEncoding;
  std::string FBuffer;   // text not yet handed out (raw bytes, or UTF-8 from UTF-16)
  std::size_t FPos = 0;  // start of the next line in FBuffer
  std::string FRaw;      // read block
  std::string FCarry;    // UTF-16 bytes left over at the end of a block
  std::string FScratch;  // the converted line
  bool FEof = false;
  bool FSkipLf = false;     // the last line ended with CR at the end of a block
  bool FChoosing = false;   // Auto and no line with a byte past ASCII yet
  bool FFollowing = false;  // see SetFollowing
  TFileId FFileId;
  std::uint64_t FBytesRead = 0;
  std::uint64_t FFileSize = 0;
};

// Replaces the contents of `lines` with the lines of the file. Raises EQuillonError
// when the file cannot be opened (lines unchanged) or read (lines partly filled).
void ReadTextLines(const std::string& fileName, TTextEncoding encoding,
                   std::vector<std::string>& lines);

// Splits text that is already UTF-8 (the clipboard) at CR LF, LF and CR.
void SplitTextLines(std::string_view text, std::vector<std::string>& lines);

}  // namespace quillon
