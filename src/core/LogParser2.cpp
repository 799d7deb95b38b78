#include "core/LogParser2.h"

#include <optional>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/Errors.h"
#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"
#include "core/Translate.h"

namespace quillon {

namespace {

constexpr std::string_view kMarkerPrefix = "[DEBUG] TPrinterProtocol";
constexpr std::string_view kMarker1 = kProtocol1Marker;
constexpr std::string_view kMarker2 = kProtocol2Marker;
constexpr std::string_view kMarker3 = kProtocol3Marker;
constexpr std::string_view kMarkerD = "] [D] -> ";
constexpr std::size_t kAttributesLength = 36;

inline bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return TrimRight(s);
}

// A copy of `count` characters from the 1-based character position `start`; empty for a
// negative count.
std::string CopyChars(std::string_view text, std::size_t start, std::ptrdiff_t count) {
  if (count <= 0) return {};
  std::size_t from = Utf8Offset(text, start - 1);
  std::string_view rest = text.substr(from);
  return std::string(Utf8Left(rest, static_cast<std::size_t>(count)));
}

// Command data of a protocol 1 or 3 frame: cut out of the text by character position.
std::string CutByPosition(std::string_view text, std::size_t start, std::ptrdiff_t dropped) {
  std::size_t chars = Utf8Length(text);
  auto count = static_cast<std::ptrdiff_t>(chars) - dropped;
  if (chars == text.size()) {  // plain ASCII: characters are bytes
    if (count <= 0) return {};
    return std::string(text.substr(start - 1, static_cast<std::size_t>(count)));
  }
  return CopyChars(text, start, count);
}

std::string Protocol2Payload(TBytesView body) {
  if (body.size() < 6) return {};
  return BytesToHex(body.substr(4, body.size() - 6));
}

}  // namespace

std::string_view FindFrameText(std::string_view line, TProtocol& protocol, bool* found) {
  if (found != nullptr) *found = false;
  auto take = [&](std::size_t pos, std::string_view marker, TProtocol p) {
    protocol = p;
    if (found != nullptr) *found = true;
    return line.substr(pos + marker.size());
  };
  std::size_t prefix = line.find(kMarkerPrefix);
  if (prefix != std::string_view::npos) {
    // Every full marker begins with the prefix, so none lies before its first occurrence.
    if (auto pos = line.find(kMarker1, prefix); pos != std::string_view::npos)
      return take(pos, kMarker1, pProtocol1);
    if (auto pos = line.find(kMarker2, prefix); pos != std::string_view::npos)
      return take(pos, kMarker2, pProtocol2);
    if (auto pos = line.find(kMarker3, prefix); pos != std::string_view::npos)
      return take(pos, kMarker3, pProtocol3);
  }
  if (auto pos = line.find(kMarkerD); pos != std::string_view::npos)
    return take(pos, kMarkerD, pProtocolNg1Plain);
  return {};
}

bool IsFrameComplete(std::string_view frameText, TProtocol protocol) {
  TBytes bytes = HexToBytes(frameText);
  switch (protocol) {
    case pProtocol1: {
      TBytes data;
      return TKorvanProtocol1::Decode(bytes, data);
    }
    case pProtocol2: {
      TKorvanFrame2 frame;
      return TKorvanProtocol2::Decode(bytes, frame);
    }
    case pProtocol3: {
      TKorvanFrame3 frame;
      return TKorvanProtocol3::Decode(bytes, frame);
    }
    default:
      return false;
  }
}

std::string GetFrameData(std::string_view frameText, TProtocol protocol) {
  switch (protocol) {
    case pProtocol1:
      return CutByPosition(frameText, 7, 9);
    case pProtocol2: {
      TBytes bytes = HexToBytes(frameText);
      if (bytes.empty()) return {};
      bool finalEsc = false;
      TBytes body = TKorvanProtocol2::DeStuffing(TBytesView(bytes).substr(1), finalEsc);
      return Protocol2Payload(body);
    }
    case pProtocol3:
      return CutByPosition(frameText, 16, 21);
    default:
      return std::string(frameText);
  }
}

// The request frame being gathered. The text grows line by line; its bytes, the
// de-stuffed protocol 2 body and that body's CRC are kept up to date as it grows, so that
// the completeness test after every line costs no more than the new piece.
class TLogParser::TFrame {
 public:
  bool Empty() const { return FText.empty(); }
  const std::string& Text() const { return FText; }

  void Clear() {
    FText.clear();
    FBytes.clear();
    FGroupLen = 0;
    FStopped = false;
    FBody.clear();
    FBodyFed = 1;
    FUnstuffer.Reset();
    FCrc = kCrc16CcittInitial;
    FCrcFed = 0;
    FVerdict3.reset();
  }

  void Add(std::string_view piece) {
    if (FText.empty()) {
      FText.assign(piece);
    } else {
      FText.resize(TrimRight(FText).size());
      FText.push_back(' ');
      FText.append(piece);
      Feed(" ");
    }
    Feed(piece);
  }

  // Whether the text holds one complete frame with a correct check value.
  bool IsComplete(TProtocol protocol) {
    switch (protocol) {
      case pProtocol1:
        return Complete1();
      case pProtocol2:
        return Complete2();
      case pProtocol3:
        return Complete3();
      default:
        return false;
    }
  }

  std::string Data(TProtocol protocol) {
    if (protocol != pProtocol2) return GetFrameData(FText, protocol);
    TBytes body = FBody;
    if (auto last = Pending(); last && !FUnstuffer.InEscape()) body.push_back(*last);
    return Protocol2Payload(body);
  }

 private:
  // Hex conversion, the same rules as HexToBytes, fed a piece at a time.
  void Feed(std::string_view text) {
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
      if (FStopped) return;
      // The common case in one step: two hex digits followed by a space or the end.
      if (FGroupLen == 0 && i + 1 < n && (i + 2 == n || text[i + 2] == ' ')) {
        int high = HexDigitValue(text[i]), low = HexDigitValue(text[i + 1]);
        if (high >= 0 && low >= 0) {
          FBytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
          i += i + 2 == n ? 2 : 3;
          continue;
        }
      }
      char c = text[i++];
      if (IsBlank(c)) {
        if (c == ' ' && FGroupLen > 0) Commit();
        continue;
      }
      FGroup[FGroupLen++] = c;
      if (FGroupLen == 2) Commit();
    }
  }

  void Commit() {
    int value = 0;
    for (int i = 0; i < FGroupLen; ++i) {
      int d = HexDigitValue(FGroup[i]);
      if (d < 0) {
        FStopped = true;
        FGroupLen = 0;
        return;
      }
      value = value * 16 + d;
    }
    FBytes.push_back(static_cast<std::uint8_t>(value));
    FGroupLen = 0;
  }

  // The byte a one-digit group at the end of the text stands for, if it is valid.
  std::optional<std::uint8_t> Pending() const {
    if (FGroupLen != 1) return std::nullopt;
    int d = HexDigitValue(FGroup[0]);
    if (d < 0) return std::nullopt;
    return static_cast<std::uint8_t>(d);
  }

  std::size_t ByteCount() const { return FBytes.size() + (Pending() ? 1 : 0); }
  std::uint8_t ByteAt(std::size_t i) const { return i < FBytes.size() ? FBytes[i] : *Pending(); }

  bool Complete1() {
    std::size_t n = ByteCount();
    if (n < 2 || ByteAt(0) != kSTX) return false;
    // The codec checks the bytes, the pending one-digit group included.
    std::optional<std::uint8_t> last = Pending();
    if (last) FBytes.push_back(*last);
    std::size_t consumed = 0;
    bool ok = TKorvanProtocol1::Decode(TBytesView(FBytes), FScratch, consumed);
    if (last) FBytes.pop_back();
    return ok;
  }

  bool Complete3() {
    std::size_t n = ByteCount();
    if (n < 5 || ByteAt(0) != kProtocol3Start) return false;
    std::uint8_t header[5];
    for (std::size_t i = 0; i < sizeof header; ++i) header[i] = ByteAt(i);
    const std::size_t size = TKorvanProtocol3::FrameSize(TBytesView(header, sizeof header));
    if (n < size) return false;
    // The verdict rests on bytes that no later piece changes: work it out once.
    if (FVerdict3) return *FVerdict3;
    TBytes frame(size, 0);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = ByteAt(i);
    TKorvanFrame3 decoded;
    bool ok = TKorvanProtocol3::Decode(frame, decoded);
    if (FBytes.size() >= size) FVerdict3 = ok;
    return ok;
  }

  bool Complete2() {
    if (ByteCount() < 5 || ByteAt(0) != kProtocol2Start) return false;
    // De-stuff the bytes committed since the last test.
    for (; FBodyFed < FBytes.size(); ++FBodyFed)
      if (auto b = FUnstuffer.Feed(FBytes[FBodyFed])) PushBody(*b);
    std::optional<std::uint8_t> last = Pending();
    // A one-digit group never makes 81 or 83, so after an escape it is always an error.
    if (FUnstuffer.InEscape() && last) throw EQuillonError(Tr("Некорректный формат пакета"));
    // Body as the decoder sees it: the pending byte added, a lone final escape dropped.
    std::size_t n = FBody.size() + (last ? 1 : 0);
    auto bodyAt = [&](std::size_t i) -> std::uint8_t {
      return i < FBody.size() ? FBody[i] : *last;
    };
    std::size_t len = n >= 2 ? (bodyAt(0) | (bodyAt(1) << 8)) : 0;
    std::uint32_t field = n >= len + 4 ? (bodyAt(len + 2) | (bodyAt(len + 3) << 8)) : 0;
    if (n < 2) return false;
    std::uint16_t crc = FCrc;
    for (std::size_t i = FCrcFed; i < n - 2; ++i) crc = Crc16CcittStep(crc, bodyAt(i));
    return crc == field;
  }

  void PushBody(std::uint8_t b) {
    FBody.push_back(b);
    // Keep the CRC of every body byte but the last two.
    while (FCrcFed + 2 < FBody.size()) FCrc = Crc16CcittStep(FCrc, FBody[FCrcFed++]);
  }

  std::string FText;
  // Hex conversion state.
  TBytes FBytes;
  char FGroup[2] = {0, 0};
  int FGroupLen = 0;
  bool FStopped = false;
  // Protocol 2: body de-stuffed from FBytes[1 .. FBodyFed), CRC of FBody[0 .. FCrcFed).
  TBytes FBody;
  std::size_t FBodyFed = 1;
  TProtocol2Unstuffer FUnstuffer;
  std::uint16_t FCrc = kCrc16CcittInitial;
  std::size_t FCrcFed = 0;
  TBytes FScratch;  // payload of the last protocol 1 check
  // Protocol 3: the verdict once the whole frame is in.
  std::optional<bool> FVerdict3;
};

TLogParser::TLogParser(ICommandSink& sink) : FSink(sink), FFrame(std::make_unique<TFrame>()) {}

TLogParser::~TLogParser() = default;

void TLogParser::Diagnose(std::int64_t line, const std::string& message) {
  FDiagnostics.push_back({line, message});
}

void TLogParser::PutAnswer(TCommand& command) const {
  std::string data = GetFrameData(FAnswerText, FProtocol);
  command.SetResCode(TCommand::GetResCode(data));
  command.SetAnswerData(std::move(data));
  command.SetAnswerTimeMs(FAnswerTimeMs);
}

void TLogParser::AttachAnswer() {
  TCommand* last = FSink.LastCommand();
  if (last == nullptr) return;
  try {
    PutAnswer(*last);
  } catch (const EQuillonError& e) {
    // A damaged answer is not attached: the command keeps what it had.
    Diagnose(FAnswerLine, e.what());
  }
}

void TLogParser::ParseLine(std::string_view line) {
  ++FLineNumber;
  bool found = false;
  std::string_view piece = FindFrameText(line, FProtocol, &found);
  if (!piece.empty()) {
    if (FFrame->Empty()) {
      FFirstLine.assign(Utf8Left(line, kAttributesLength));
      FFirstLineNumber = FLineNumber;
    }
    FFrame->Add(piece);
    // More than two characters (a character takes at most four bytes).
    if (FAnswerText.size() > 2 && (FAnswerText.size() > 8 || Utf8Length(FAnswerText) > 2))
      AttachAnswer();
    try {
      if (FFrame->IsComplete(FProtocol)) {
        TCommandRec rec;
        rec.Protocol = FProtocol;
        rec.LineNumber = static_cast<std::int32_t>(FFirstLineNumber);
        rec.TxData = FFrame->Data(FProtocol);
        rec.Code = TCommand::GetCode(rec.TxData);
        rec.Attributes = FFirstLine;
        FSink.AddCommand(std::move(rec));
        FFrame->Clear();
      }
    } catch (const EQuillonError& e) {
      // A damaged request frame is dropped; the log goes on.
      Diagnose(FFirstLineNumber, e.what());
      FFrame->Clear();
    }
    FAnswerText.clear();
  }
  std::size_t arrow = line.find(kAnswerMarker);
  if (arrow != std::string_view::npos) {
    FFrame->Clear();
    std::string_view answer = Trim(line.substr(arrow + kAnswerMarker.size()));
    if (FAnswerText.empty())
      FAnswerLine = FLineNumber;
    else
      FAnswerText.push_back(' ');
    FAnswerText.append(answer);
    FAnswerTimeMs = LineTimeMs(line).value_or(TCommandRec::kNoTime);
    if (FAnswerText == "06" && (FProtocol == pProtocol1 || FProtocol == pProtocol3))
      FAnswerText.clear();
  }
}

void TLogParser::Finish() {
  if (!FAnswerText.empty()) {
    AttachAnswer();
    FAnswerText.clear();
  }
}

bool TLogParser::PreviewAnswer(TCommand& command) const {
  if (FAnswerText.empty()) return false;
  try {
    PutAnswer(command);
    return true;
  } catch (const EQuillonError&) {
    return false;
  }
}

void ParseLog(const std::vector<std::string>& lines, TCommandList& list,
              std::vector<TParseDiagnostic>* diagnostics) {
  list.Clear();
  TCommandListSink sink(list);
  TLogParser parser(sink);
  for (const std::string& line : lines) parser.ParseLine(line);
  parser.Finish();
  if (diagnostics != nullptr) *diagnostics = parser.Diagnostics();
}

}  // namespace quillon
