#include "LogGenerator.h"

#include <random>
#include <string_view>

#include "core/BinUtils.h"
#include "core/CodePages.h"
#include "core/CommandCode.h"
#include "core/DateUtils.h"
#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"
#include "core/LogParser2.h"
#include "core/untCommand.h"

namespace quillon::loggen {

namespace {

// A few texts a driver log carries besides frames (UTF-8 here, written as Windows-1251).
constexpr std::string_view kJunk[] = {
    "[INFO] Открытие порта COM3, скорость 115200",
    "[INFO] Подключение к ККТ установлено",
    "[DEBUG] Ожидание ответа ККТ...",
    "[WARN] Таймаут чтения байта, повтор",
    "[INFO] Версия драйвера 5.16.0.1042",
    "[DEBUG] Получен ответ: Ошибок нет",
    "[ERROR] Нет связи с ККТ. Проверьте кабель",
    "-------------------------------------------------",
};

// One control byte as the log writes it: two hex digits.
std::string ByteText(std::uint8_t control) {
  return BytesToHex(TBytesView(&control, 1));
}

constexpr std::string_view kGoods[] = {"Хлеб пшеничный",  "Молоко 3,2% 1л", "Бензин АИ-95",
                                       "Сахар-песок 1кг", "Кофе молотый",   "Пакет-майка",
                                       "Чай чёрный",      "Услуга доставки"};

// A request as written: its first line's number and head, and the time stamped on that line.
struct TWrittenRequest {
  std::int64_t Line = 0;
  std::string Attributes;
  std::int64_t TimeMs = 0;
};

struct TCommandSpec {
  TBytes Request;
  TBytes Answer;         // empty: the device did not answer
  TBytes SuccessAnswer;  // what the device answers once it is no longer busy
};

class TGenerator {
 public:
  TGenerator(std::ostream& out, const TOptions& options, std::vector<TExpectedCommand>* expected)
      : FOut(out),
        FOptions(options),
        FExpected(expected),
        FRandom(options.Seed),
        FNowMs(options.StartMs) {}

  TStats Run() {
    int protocol = 2;
    std::uint64_t segmentLeft = 0;
    for (std::uint64_t i = 0; i < FOptions.Commands; ++i) {
      if (FOptions.MaxBytes != 0 && FStats.Bytes >= FOptions.MaxBytes) break;
      if (segmentLeft == 0) {
        // The driver checks the link before it changes protocol: ENQ, NAK. This also
        // hands the last answer to its command under the protocol it came in.
        if (i != 0) {
          Line(Prefix() + Marker(protocol, "->") + ByteText(kENQ));
          Line(Prefix() + Marker(protocol, "<-") + ByteText(kNAK));
        }
        segmentLeft = 20 + Rand(150);
        if (FOptions.AllProtocols) protocol = 1 + static_cast<int>(Rand(3));
        Line(Prefix() + "[INFO] Протокол обмена: версия " + std::to_string(protocol));
      }
      --segmentLeft;
      if (Rand(20) == 0) Line(Prefix() + std::string(kJunk[Rand(std::size(kJunk))]));
      TCommandSpec planned = MakeCommand();
      Emit(protocol, planned);
      // A busy device is asked again, as the driver's callers do, and then answers.
      if (IsBusyResult(AnswerResultCode(planned.Answer))) {
        planned.Answer = planned.SuccessAnswer;
        Emit(protocol, planned);
      }
    }
    return FStats;
  }

 private:
  void Emit(int protocol, const TCommandSpec& planned) {
    switch (protocol) {
      case 1:
        Protocol1(planned);
        break;
      case 2:
        Protocol2(planned);
        break;
      default:
        Protocol3(planned);
        break;
    }
  }

  std::uint64_t Rand(std::uint64_t n) { return FRandom() % n; }
  std::uint8_t RandByte() { return static_cast<std::uint8_t>(FRandom()); }

  // The head of a new line: its time stamp, a little later than the last one, and thread.
  std::string Prefix() {
    FNowMs += 1 + static_cast<std::int64_t>(Rand(40));
    std::string prefix = "[";
    AppendLogTimeStamp(prefix, FNowMs);
    prefix += "] [";
    prefix += IntToHex(FThread, 8);
    prefix += "] ";
    return prefix;
  }

  void Line(const std::string& utf8) {
    std::string bytes = Utf8ToCp1251(utf8);
    bytes += "\r\n";
    FOut.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FStats.Bytes += bytes.size();
    ++FStats.Lines;
  }

  static std::string Marker(int protocol, std::string_view arrow) {
    std::string m = "[DEBUG] TPrinterProtocol";
    if (protocol != 1) m += std::to_string(protocol);
    m += ' ';
    m += arrow;
    m += ' ';
    return m;
  }

  static TBytes Password(std::uint32_t value) { return IntToBytes(value, 4); }

  static void AddText(TBytes& out, std::string_view utf8, std::size_t width) {
    std::string cp = Utf8ToCp1251(utf8);
    cp.resize(width, '\0');
    out += RawBytes(cp);
  }

  // One command with its answer, as a register would exchange them.
  TCommandSpec MakeCommand() {
    TCommandSpec c;
    std::uint8_t result = Rand(12) == 0 ? (Rand(2) ? kResultPrinting : 0x37) : 0;
    if (Rand(25) == 0) result = static_cast<std::uint8_t>(0x01 + Rand(0x7E));
    auto answer = [&](TBytes code, TBytes data) {
      c.Answer = code;
      c.Answer.push_back(result);
      if (result == 0) c.Answer += data;
      c.SuccessAnswer = code;
      c.SuccessAnswer.push_back(0);
      c.SuccessAnswer += data;
    };
    switch (Rand(10)) {
      case 0: {  // short status
        c.Request = MakeBytes({0x10}) + Password(30);
        TBytes data = MakeBytes({0x1E, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0x00, 0x00});
        answer(MakeBytes({0x10}), data);
        break;
      }
      case 1: {  // status
        c.Request = MakeBytes({0x11}) + Password(30);
        TBytes data = MakeBytes({0x1E, 0x41, 0x30});  // operator, firmware A.0
        data += IntToBytes(2045, 2);                  // build
        data += MakeBytes({0x0F, 0x03, 0x18, 0x01});  // firmware date, logical number
        data += IntToBytes(static_cast<std::int64_t>(Rand(9000)), 2);  // document number
        data += MakeBytes({0x02, 0x00});                               // flags
        data += MakeBytes({static_cast<std::uint8_t>(Rand(2) ? 2 : 4), 0x00, 0x00});
        data += MakeBytes({0x41, 0x30}) + IntToBytes(2045, 2) + MakeBytes({0x0F, 0x03, 0x18});
        data += MakeBytes({0x1F, 0x0C, 0x18, 0x0A, 0x0F, 0x00});  // date, time
        data += MakeBytes({0x01});
        data += IntToBytes(1234567, 4);                                   // serial
        data += IntToBytes(static_cast<std::int64_t>(1 + Rand(400)), 2);  // session
        data += MakeBytes({0x00, 0x00, 0x01, 0x00});
        data += IntToBytes(7707083893LL, 6);  // taxpayer number
        answer(MakeBytes({0x11}), data);
        break;
      }
      case 2: {  // print a line of text
        c.Request = MakeBytes({0x17}) + Password(1) + MakeBytes({0x02});
        AddText(c.Request, kGoods[Rand(std::size(kGoods))], 40);
        answer(MakeBytes({0x17}), MakeBytes({0x01}));
        break;
      }
      case 3: {  // fiscal storage status
        c.Request = MakeBytes({0xFF, 0x01}) + Password(30);
        TBytes data = MakeBytes({0x03, 0x04, 0x00, 0x01, 0x00, 0x18, 0x0C, 0x1F, 0x0A, 0x0F});
        AddText(data, "9960440300000001", 16);
        data += IntToBytes(static_cast<std::int64_t>(Rand(100000)), 4);
        answer(MakeBytes({0xFF, 0x01}), data);
        break;
      }
      case 4: {  // operation V2 with a name of goods
        c.Request = MakeBytes({0xFF, 0x46}) + Password(30) + MakeBytes({0x01});
        c.Request += IntToBytes(1000000 * (1 + static_cast<std::int64_t>(Rand(5))), 6);
        c.Request += IntToBytes(static_cast<std::int64_t>(100 * (1 + Rand(10000))), 5);
        c.Request += MakeBytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
        c.Request += MakeBytes({0x01, 0x01, 0x04, 0x01});
        AddText(c.Request, kGoods[Rand(std::size(kGoods))], 0);
        answer(MakeBytes({0xFF, 0x46}), {});
        break;
      }
      case 5: {  // close receipt
        c.Request = MakeBytes({0x85}) + Password(1);
        c.Request += IntToBytes(static_cast<std::int64_t>(1000 * (1 + Rand(5000))), 5);  // cash
        for (int i = 0; i < 15; ++i) c.Request.push_back(0);           // other payments
        c.Request += MakeBytes({0x00, 0x00, 0x01, 0x00, 0x00, 0x00});  // discount, taxes
        AddText(c.Request, "Спасибо за покупку!", 40);
        answer(MakeBytes({0x85}), MakeBytes({0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
        break;
      }
      case 6: {  // device type
        c.Request = MakeBytes({0xFC});
        TBytes data = MakeBytes({0x00, 0x00, 0x01, 0x0C, 0x00, 0x8F, 0x00});
        AddText(data, "ККТ-СЕРВИС", 10);
        answer(MakeBytes({0xFC}), data);
        break;
      }
      case 7: {  // sale with escapes in the data: 8F and 9F appear in the amounts
        c.Request = MakeBytes({0x80}) + Password(1);
        c.Request += MakeBytes({kProtocol2Start, kProtocol2Escape, 0x00, 0x00, 0x00});
        c.Request += MakeBytes({0xE8, 0x03, 0x00, 0x00, 0x00});
        c.Request += MakeBytes({0x01, 0x00, 0x00, 0x00, 0x00});
        AddText(c.Request, kGoods[Rand(std::size(kGoods))], 40);
        answer(MakeBytes({0x80}), MakeBytes({0x01}));
        break;
      }
      case 8: {  // read a table field
        c.Request = MakeBytes({0x1F}) + Password(30) + MakeBytes({0x01, 0x01, 0x00, 0x01});
        answer(MakeBytes({0x1F}), MakeBytes({0x01}));
        break;
      }
      default: {  // find a fiscal document
        c.Request = MakeBytes({0xFF, 0x0A}) + Password(30);
        c.Request += IntToBytes(static_cast<std::int64_t>(1 + Rand(5000)), 4);
        TBytes data = MakeBytes({0x03, 0x00});
        for (int i = 0; i < 20; ++i) data.push_back(RandByte());
        answer(MakeBytes({0xFF, 0x0A}), data);
        break;
      }
    }
    if (Rand(30) == 0) c.Answer.clear();  // no answer
    return c;
  }

  // Writes a request frame, now and then spread over two lines.
  TWrittenRequest Request(const std::string& marker, const TBytes& frame, int protocol) {
    std::string prefix = Prefix();
    TWrittenRequest written;
    written.Attributes = prefix.substr(0, 36);
    written.Line = static_cast<std::int64_t>(FStats.Lines) + 1;
    written.TimeMs = FNowMs;
    std::string hex = BytesToHex(frame);
    if (frame.size() > 8 && Rand(6) == 0) {
      std::size_t cut = 3 + Rand(frame.size() - 4);
      std::string head = BytesToHex(TBytesView(frame).substr(0, cut));
      // The first part must not read as a whole frame by itself.
      if (!IsFrameComplete(head, static_cast<TProtocol>(protocol))) {
        Line(prefix + marker + head);
        Line(Prefix() + marker + BytesToHex(TBytesView(frame).substr(cut)));
        return written;
      }
    }
    Line(prefix + marker + hex);
    return written;
  }

  // rx is the answer's data and answerMs the time of its last line; both empty without one.
  void Expect(const TWrittenRequest& request, int protocol, const TBytes& tx, const std::string& rx,
              std::optional<std::int64_t> answerMs) {
    ++FStats.Commands;
    if (FExpected == nullptr) return;
    TExpectedCommand e;
    e.Line = request.Line;
    e.Attributes = request.Attributes;
    e.Time = request.Attributes.substr(1, 23);
    e.Thread = request.Attributes.substr(27, 8);
    e.Protocol = protocol;
    e.Tx = BytesToHex(tx);
    e.Code = TCommand::GetCode(e.Tx);
    e.Rx = rx;
    e.Result = TCommand::GetResCode(rx);
    e.Error = e.Result != 0 || (rx.empty() && !e.Tx.empty());
    e.RequestMs = request.TimeMs;
    if (answerMs) {
      e.AnswerMs = answerMs;
      e.ResponseMs = *answerMs - request.TimeMs;
      AppendLogTimeStamp(e.AnswerTime, *answerMs);
    }
    FExpected->push_back(std::move(e));
  }

  // Lines of the short "[D]" form: they never make a command, and their "06" answer is
  // kept but too short to be attached to anything.
  void MaybeDLines() {
    if (Rand(15) != 0) return;
    Line(Prefix().substr(0, 25) + " [D] -> " + ByteText(kENQ));
    Line(Prefix().substr(0, 25) + " [D] <- " + ByteText(kACK));
  }

  void Protocol1(const TCommandSpec& c) {
    const std::string m = "[DEBUG] TPrinterProtocol -> ";
    const std::string a = "[DEBUG] TPrinterProtocol <- ";
    MaybeDLines();
    Line(Prefix() + m + ByteText(kENQ));
    Line(Prefix() + a + ByteText(kNAK));
    TWrittenRequest request = Request(m, TKorvanProtocol1::Encode(c.Request), 1);
    std::string rx;
    std::optional<std::int64_t> answerMs;
    if (!c.Answer.empty()) {
      Line(Prefix() + a + ByteText(kACK));
      Line(Prefix() + a + BytesToHex(TKorvanProtocol1::Encode(c.Answer)));
      answerMs = FNowMs;
      Line(Prefix() + m + ByteText(kACK));
      rx = BytesToHex(c.Answer);
    } else {
      Line(Prefix() + a + ByteText(kACK));
    }
    Expect(request, 1, c.Request, rx, answerMs);
  }

  void Protocol2(const TCommandSpec& c) {
    const std::string m = "[DEBUG] TPrinterProtocol2 -> ";
    const std::string a = "[DEBUG] TPrinterProtocol2 <- ";
    if (Rand(40) == 0) {  // a synchronisation frame without payload
      TKorvanFrame2 sync;
      TWrittenRequest written = Request(m, TKorvanProtocol2::Encode(sync), 2);
      TKorvanFrame2 reply;
      reply.Number = FFrameNumber;
      reply.Data = MakeBytes({0x00});
      Line(Prefix() + a + BytesToHex(TKorvanProtocol2::Encode(reply)));
      Expect(written, 2, {}, BytesToHex(reply.Data), FNowMs);
    }
    TKorvanFrame2 request;
    request.Number = ++FFrameNumber & 0xFFFF;
    request.Data = c.Request;
    TWrittenRequest written = Request(m, TKorvanProtocol2::Encode(request), 2);
    std::string rx;
    std::optional<std::int64_t> answerMs;
    if (!c.Answer.empty()) {
      TKorvanFrame2 answer;
      answer.Number = request.Number;
      answer.Data = c.Answer;
      Line(Prefix() + a + BytesToHex(TKorvanProtocol2::Encode(answer)));
      answerMs = FNowMs;
      rx = BytesToHex(c.Answer);
    }
    Expect(written, 2, c.Request, rx, answerMs);
  }

  void Protocol3(const TCommandSpec& c) {
    const std::string m = "[DEBUG] TPrinterProtocol3 -> ";
    const std::string a = "[DEBUG] TPrinterProtocol3 <- ";
    TKorvanFrame3 request;
    request.Number = ++FFrameNumber & 0xFF;
    request.Data = c.Request;
    TWrittenRequest written = Request(m, TKorvanProtocol3::Encode(request), 3);
    std::string rx;
    std::optional<std::int64_t> answerMs;
    if (!c.Answer.empty()) {
      Line(Prefix() + a + ByteText(kACK));
      TKorvanFrame3 answer;
      answer.Number = request.Number;
      answer.Data = c.Answer;
      Line(Prefix() + a + BytesToHex(TKorvanProtocol3::Encode(answer)));
      answerMs = FNowMs;
      rx = BytesToHex(c.Answer);
    }
    Expect(written, 3, c.Request, rx, answerMs);
  }

  std::ostream& FOut;
  TOptions FOptions;
  std::vector<TExpectedCommand>* FExpected;
  std::mt19937_64 FRandom;
  TStats FStats;
  std::int64_t FNowMs;  // the time stamp of the last line written
  std::uint32_t FThread = 0x1A2C;
  std::int32_t FFrameNumber = 0;
};

}  // namespace

TStats Generate(std::ostream& out, const TOptions& options,
                std::vector<TExpectedCommand>* expected) {
  TGenerator generator(out, options, expected);
  return generator.Run();
}

}  // namespace quillon::loggen
