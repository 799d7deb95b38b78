#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/BinUtils.h"
#include "core/Errors.h"
#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "emulator/Emulator.h"

namespace quillon {
namespace {

constexpr int kClosed = -1;   // ReadByte: the emulator closed the connection
constexpr int kNothing = -2;  // ReadByte: no byte within the read limit
constexpr int kReadLimitMs = 3000;

TBytes Hex(std::string_view text) {
  return HexToBytes(text);
}

// The host side of the link, one step at a time, over a plain loopback socket.
class THostClient {
 public:
  explicit THostClient(std::uint16_t port) {
    FFd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(FFd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Connected = connect(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~THostClient() { close(FFd); }

  void Send(TBytesView bytes) {
    EXPECT_EQ(send(FFd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  void SendByte(std::uint8_t b) { Send(TBytesView(&b, 1)); }
  void SendFrame(TBytesView payload) { Send(TKorvanProtocol1::Encode(payload)); }

  // The next byte, kClosed or kNothing.
  int ReadByte() {
    pollfd p{FFd, POLLIN, 0};
    if (poll(&p, 1, kReadLimitMs) <= 0) return kNothing;
    std::uint8_t b = 0;
    return recv(FFd, &b, 1, 0) == 1 ? b : kClosed;
  }
  // A whole frame as it came: STX, LEN, payload, check byte; empty when it did not come.
  TBytes ReadFrame() {
    const int stx = ReadByte();
    EXPECT_EQ(stx, kSTX);
    const int length = ReadByte();
    if (stx != kSTX || length < 0) return {};
    TBytes frame = MakeBytes({kSTX, static_cast<std::uint8_t>(length)});
    for (int i = 0; i <= length; ++i) {
      const int b = ReadByte();
      if (b < 0) {
        ADD_FAILURE() << "the frame broke off";
        return {};
      }
      frame.push_back(static_cast<std::uint8_t>(b));
    }
    return frame;
  }
  // The payload of a frame with a good check byte.
  TBytes ReadAnswer() {
    TBytes frame = ReadFrame();
    TBytes payload;
    EXPECT_TRUE(TKorvanProtocol1::Decode(frame, payload)) << BytesToHex(frame);
    return payload;
  }
  // What a well-behaved host does: ENQ (NAK: ready), request (ACK), answer (ACK).
  TBytes Exchange(TBytesView request) {
    SendByte(kENQ);
    EXPECT_EQ(ReadByte(), kNAK);
    SendFrame(request);
    EXPECT_EQ(ReadByte(), kACK);
    TBytes answer = ReadAnswer();
    SendByte(kACK);
    return answer;
  }
  // Whether the device holds no answer: it answers ENQ with NAK. An answer frame sent
  // before would arrive first, so this also proves that none was sent.
  bool HoldsNothing() {
    SendByte(kENQ);
    return ReadByte() == kNAK;
  }

  bool Connected = false;

 private:
  int FFd = -1;
};

const TBytes kStatus = Hex("11 1E 00 00 00");
const TBytes kShortStatus = Hex("10 1E 00 00 00");

class EmulatorTest : public ::testing::Test {
 protected:
  TEmulatorOptions Options() {
    TEmulatorOptions options;
    options.Listen = "127.0.0.1:0";
    options.ByteTimeoutMs = 1;
    options.OnExchange = [this](const TExchange& exchange) {
      std::lock_guard lock(FMutex);
      FExchanges.push_back(exchange);
    };
    return options;
  }
  std::uint16_t Start(TEmulatorOptions options) {
    FEmulator = std::make_unique<TEmulator>(std::move(options));
    return FEmulator->Start();
  }
  std::vector<TExchange> Exchanges() {
    std::lock_guard lock(FMutex);
    return FExchanges;
  }
  void TearDown() override {
    if (!FEmulator) return;
    FEmulator->Stop();
    FEmulator->Wait();
  }

  std::mutex FMutex;
  std::vector<TExchange> FExchanges;
  std::unique_ptr<TEmulator> FEmulator;  // last: stopped before the records go
};

TEST_F(EmulatorTest, BuiltInRegisterAnswersOverTheLink) {
  THostClient host(Start(Options()));
  ASSERT_TRUE(host.Connected);
  EXPECT_EQ(FEmulator->LocalAddress().rfind("127.0.0.1:", 0), 0u);

  const TBytes status = host.Exchange(kStatus);
  EXPECT_EQ(status.size(), 48u);
  EXPECT_EQ(status.substr(0, 2), Hex("11 00"));
  EXPECT_EQ(host.Exchange(Hex("FF 01 1E 00 00 00")).size(), 33u);
  EXPECT_EQ(host.Exchange(Hex("99 1E 00 00 00")), Hex("99 37"));
  EXPECT_EQ(host.Exchange(Hex("FF 99")), Hex("FF 99 37"));
  EXPECT_TRUE(host.HoldsNothing());  // the host's ACK dropped the last answer

  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 4u);
  EXPECT_EQ(exchanges[0].Request, kStatus);
  EXPECT_EQ(exchanges[0].Answer, status);
  EXPECT_EQ(exchanges[3].Answer, Hex("FF 99 37"));
  for (const TExchange& e : exchanges) {
    EXPECT_EQ(e.Kind, ekRequest);
    EXPECT_EQ(e.Source, asBuiltIn);
    EXPECT_TRUE(e.Answered);
    EXPECT_EQ(e.Faults, 0u);
  }
}

TEST_F(EmulatorTest, HeldAnswerIsSentAgainOnEnq) {
  THostClient host(Start(Options()));
  host.SendByte(kENQ);
  EXPECT_EQ(host.ReadByte(), kNAK);
  host.SendFrame(Hex("99 01"));
  EXPECT_EQ(host.ReadByte(), kACK);
  EXPECT_EQ(host.ReadAnswer(), Hex("99 37"));
  host.SendByte(kNAK);  // as if the answer had come corrupt

  for (int i = 0; i < 2; ++i) {  // held until the host acknowledges it
    host.SendByte(kENQ);
    EXPECT_EQ(host.ReadByte(), kACK);
    EXPECT_EQ(host.ReadAnswer(), Hex("99 37"));
  }
  host.SendByte(kACK);
  EXPECT_TRUE(host.HoldsNothing());

  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 3u);
  EXPECT_EQ(exchanges[0].Kind, ekRequest);
  EXPECT_EQ(exchanges[1].Kind, ekResend);
  EXPECT_EQ(exchanges[2].Kind, ekResend);
  EXPECT_EQ(exchanges[2].Request, Hex("99 01"));
  EXPECT_EQ(exchanges[2].Answer, Hex("99 37"));
}

TEST_F(EmulatorTest, BadFramesAreRefusedAndTheLinkRecovers) {
  THostClient host(Start(Options()));
  TBytes frame = TKorvanProtocol1::Encode(kStatus);
  frame.back() ^= 0x01;
  host.SendByte(0x33);  // line noise is ignored
  host.SendByte(kENQ);
  EXPECT_EQ(host.ReadByte(), kNAK);
  host.Send(frame);
  EXPECT_EQ(host.ReadByte(), kNAK);
  EXPECT_TRUE(host.HoldsNothing());
  EXPECT_EQ(host.Exchange(kStatus).size(), 48u);

  host.Send(Hex("02 05 10 1E"));  // the rest never comes
  EXPECT_EQ(host.ReadByte(), kNAK);
  EXPECT_EQ(host.Exchange(Hex("FC")).substr(0, 2), Hex("FC 00"));

  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 4u);
  EXPECT_EQ(exchanges[0].Kind, ekBadFrame);
  EXPECT_TRUE(exchanges[0].Refused);
  EXPECT_EQ(exchanges[0].Request, frame);
  EXPECT_EQ(exchanges[2].Kind, ekBadFrame);
  EXPECT_EQ(exchanges[2].Request, Hex("02 05 10 1E"));
}

// A driver log of protocol 1 exchanges, written the way the driver writes it.
class TLogWriter {
 public:
  // Adds one exchange; answerHex null: the device never answered. Answers the line
  // number of the request frame.
  int Add(std::string_view requestHex, const char* answerHex) {
    Line("-> 05");
    Line("<- 15");
    Line("-> " + BytesToHex(TKorvanProtocol1::Encode(Hex(requestHex))));
    const int line = static_cast<int>(FLines.size());
    Line("<- 06");
    if (answerHex != nullptr) {
      Line("<- " + BytesToHex(TKorvanProtocol1::Encode(Hex(answerHex))));
      Line("-> 06");
    }
    return line;
  }
  std::string Save(const std::string& name) const {
    const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
    std::ofstream out(path, std::ios::binary);
    for (const std::string& line : FLines) out << line << "\r\n";
    return path.string();
  }

 private:
  void Line(const std::string& text) {
    FLines.push_back("[07.03.2025 14:05:09.123] [00001A2C] [DEBUG] TPrinterProtocol " + text);
  }
  std::vector<std::string> FLines;
};

TEST_F(EmulatorTest, LogAnswersAreReplayedInOrder) {
  TLogWriter log;
  const int status1 = log.Add("11 1E 00 00 00", "11 00 AA");
  const int print = log.Add("FF 45 1E 00 00 00", "FF 45 00 01");
  const int poll = log.Add("10 1E 00 00 00", "10 00 1E 02 00 02 05");
  const int status2 = log.Add("11 1E 00 00 00", "11 00 BB");
  const int silent = log.Add("12 1E 00 00 00", nullptr);
  const int other = log.Add("13 1E 00 00 00", "13 00 CC");
  TEmulatorOptions options = Options();
  options.LogFile = log.Save("emulator_replay.log");
  THostClient host(Start(options));
  EXPECT_EQ(FEmulator->RecordedCount(), 6u);

  EXPECT_EQ(host.Exchange(kStatus), Hex("11 00 AA"));
  EXPECT_EQ(host.Exchange(kShortStatus).size(), 14u);  // the log's next is the print
  EXPECT_EQ(host.Exchange(Hex("FF 45 1E 00 00 00")), Hex("FF 45 00 01"));
  EXPECT_EQ(host.Exchange(kShortStatus), Hex("10 00 1E 02 00 02 05"));
  EXPECT_EQ(host.Exchange(kShortStatus).size(), 14u);
  EXPECT_EQ(host.Exchange(kStatus), Hex("11 00 BB"));
  // The log has no answer: the built-in register answers at once.
  EXPECT_EQ(host.Exchange(Hex("12 1E 00 00 00")), Hex("12 37"));
  EXPECT_EQ(host.Exchange(kStatus), Hex("11 00 AA"));  // no third one: from the start
  EXPECT_EQ(host.Exchange(Hex("13 1E 00 00 00")), Hex("13 00 CC"));
  EXPECT_EQ(host.Exchange(Hex("13 1E 00 00 00")), Hex("13 00 CC"));

  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 10u);
  const std::pair<TAnswerSource, int> expected[] = {
      {asLog, status1}, {asBuiltIn, 0},      {asLog, print},   {asLog, poll},  {asBuiltIn, 0},
      {asLog, status2}, {asBuiltIn, silent}, {asLog, status1}, {asLog, other}, {asLog, other}};
  for (std::size_t i = 0; i < exchanges.size(); ++i) {
    EXPECT_EQ(exchanges[i].Source, expected[i].first) << i;
    EXPECT_EQ(exchanges[i].LogLine, expected[i].second) << i;
    EXPECT_EQ(exchanges[i].LogAnswerMissing, i == 6) << i;
    EXPECT_TRUE(exchanges[i].Answered) << i;
  }
}

TEST_F(EmulatorTest, RecordedAnswerTooLongForAFrameIsAnsweredByTheBuiltInRegister) {
  // A protocol 2 log may hold answers longer than the 255 bytes a protocol 1 frame carries.
  TKorvanFrame2 request{Hex("22 01"), 1};
  TKorvanFrame2 answer{Hex("22 00") + TBytes(298, 0x41), 1};
  const std::string head = "[07.03.2025 14:05:09.123] [00001A2C] [DEBUG] TPrinterProtocol2 ";
  const std::filesystem::path path =
      std::filesystem::path(::testing::TempDir()) / "emulator_long.log";
  std::ofstream(path, std::ios::binary)
      << head << "-> " << BytesToHex(TKorvanProtocol2::Encode(request)) << "\r\n"
      << head << "<- " << BytesToHex(TKorvanProtocol2::Encode(answer)) << "\r\n";
  TEmulatorOptions options = Options();
  options.LogFile = path.string();
  options.Protocol = 1;
  THostClient host(Start(options));
  EXPECT_EQ(host.Exchange(Hex("22 01")), Hex("22 37"));
  EXPECT_EQ(host.Exchange(Hex("22 01")), Hex("22 37"));  // the log again, from the start

  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 2u);
  for (const TExchange& e : exchanges) {
    EXPECT_EQ(e.Source, asBuiltIn);
    EXPECT_EQ(e.LogLine, 1);
    EXPECT_TRUE(e.AnswerTooLong);
    EXPECT_TRUE(e.LogAnswerMissing);
    EXPECT_TRUE(e.Answered);
  }
  EXPECT_EQ(FormatExchange(exchanges[0]),
            "22 01 -> 22 37 (журнал, строка 1) (встроенный регистратор) (ответ длиннее 255 байт "
            "не помещается в кадр)");
}

TEST_F(EmulatorTest, BusyAnswersComeBeforeEachRealOne) {
  TEmulatorOptions options = Options();
  options.Busy = 2;
  THostClient host(Start(options));
  for (const TBytes& request : {kStatus, Hex("FF 01 1E 00 00 00")}) {
    EXPECT_EQ(host.Exchange(request), ResultAnswer(request, kResultPrinting));
    EXPECT_EQ(host.Exchange(request), ResultAnswer(request, kResultPrinting));
    const TBytes success = ResultAnswer(request, kResultOk);
    const TBytes answer = host.Exchange(request);
    EXPECT_GT(answer.size(), success.size());
    EXPECT_EQ(answer.substr(0, success.size()), success);
  }
  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 6u);
  EXPECT_EQ(exchanges[1].Faults, unsigned{efBusy});
  EXPECT_EQ(exchanges[2].Faults, 0u);
}

TEST_F(EmulatorTest, DelayHoldsBackEachAnswer) {
  TEmulatorOptions options = Options();
  options.DelayMs = 150;
  THostClient host(Start(options));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(host.Exchange(Hex("99")), Hex("99 37"));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].Faults, unsigned{efDelay});
}

TEST_F(EmulatorTest, NakEveryRefusesGoodFrames) {
  TEmulatorOptions options = Options();
  options.NakEvery = 2;
  THostClient host(Start(options));
  EXPECT_EQ(host.Exchange(Hex("99")), Hex("99 37"));  // frame 1
  host.SendByte(kENQ);
  EXPECT_EQ(host.ReadByte(), kNAK);
  host.SendFrame(Hex("98"));  // frame 2
  EXPECT_EQ(host.ReadByte(), kNAK);
  EXPECT_EQ(host.Exchange(Hex("98")), Hex("98 37"));  // frame 3: the host's retry
  host.SendFrame(Hex("97"));                          // frame 4
  EXPECT_EQ(host.ReadByte(), kNAK);
  EXPECT_TRUE(host.HoldsNothing());

  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 4u);
  EXPECT_TRUE(exchanges[1].Refused);
  EXPECT_FALSE(exchanges[1].Answered);
  EXPECT_EQ(exchanges[1].Faults, unsigned{efNak});
  EXPECT_FALSE(exchanges[2].Refused);
  EXPECT_EQ(exchanges[3].Faults, unsigned{efNak});
}

TEST_F(EmulatorTest, DropEveryLeavesRequestsUnanswered) {
  TLogWriter log;
  log.Add("21 01", "21 00 01");
  log.Add("21 01", "21 00 02");
  TEmulatorOptions options = Options();
  options.DropEvery = 2;
  options.LogFile = log.Save("emulator_drop.log");
  THostClient host(Start(options));
  EXPECT_EQ(host.Exchange(Hex("21 01")), Hex("21 00 01"));
  host.SendByte(kENQ);
  EXPECT_EQ(host.ReadByte(), kNAK);
  host.SendFrame(Hex("21 01"));
  EXPECT_EQ(host.ReadByte(), kACK);
  EXPECT_TRUE(host.HoldsNothing());
  // The dropped request did not use up the log's next answer.
  EXPECT_EQ(host.Exchange(Hex("21 01")), Hex("21 00 02"));

  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 3u);
  EXPECT_EQ(exchanges[1].Faults, unsigned{efDrop});
  EXPECT_FALSE(exchanges[1].Answered);
  EXPECT_EQ(exchanges[2].Source, asLog);
}

TEST_F(EmulatorTest, GarbageEveryCorruptsAnswerFrames) {
  TEmulatorOptions options = Options();
  options.GarbageEvery = 2;
  THostClient host(Start(options));
  EXPECT_EQ(host.Exchange(Hex("99")), Hex("99 37"));  // answer frame 1
  host.SendByte(kENQ);
  EXPECT_EQ(host.ReadByte(), kNAK);
  host.SendFrame(Hex("98"));
  EXPECT_EQ(host.ReadByte(), kACK);
  TBytes corrupt = host.ReadFrame();  // answer frame 2
  TBytes payload;
  EXPECT_FALSE(TKorvanProtocol1::Decode(corrupt, payload));
  EXPECT_EQ(corrupt.substr(0, corrupt.size() - 1), Hex("02 02 98 37"));
  host.SendByte(kNAK);
  host.SendByte(kENQ);
  EXPECT_EQ(host.ReadByte(), kACK);
  EXPECT_EQ(host.ReadAnswer(), Hex("98 37"));  // answer frame 3
  host.SendByte(kACK);
  host.SendByte(kENQ);
  EXPECT_EQ(host.ReadByte(), kNAK);
  host.SendFrame(Hex("97"));
  EXPECT_EQ(host.ReadByte(), kACK);
  corrupt = host.ReadFrame();  // answer frame 4
  EXPECT_FALSE(TKorvanProtocol1::Decode(corrupt, payload));

  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 4u);
  EXPECT_EQ(exchanges[1].Faults, unsigned{efGarbage});
  EXPECT_EQ(exchanges[1].Answer, Hex("98 37"));
  EXPECT_EQ(exchanges[2].Kind, ekResend);
  EXPECT_EQ(exchanges[2].Faults, 0u);
  EXPECT_EQ(exchanges[3].Faults, unsigned{efGarbage});
}

TEST_F(EmulatorTest, DisconnectAfterClosesEachConnection) {
  TEmulatorOptions options = Options();
  options.DisconnectAfter = 2;
  const std::uint16_t port = Start(options);
  for (int connection = 0; connection < 2; ++connection) {
    THostClient host(port);
    ASSERT_TRUE(host.Connected);
    EXPECT_EQ(host.Exchange(Hex("99")), Hex("99 37"));
    EXPECT_EQ(host.Exchange(Hex("98")), Hex("98 37"));
    EXPECT_EQ(host.ReadByte(), kClosed);
  }
  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 4u);
  EXPECT_EQ(exchanges[0].Faults, 0u);
  EXPECT_EQ(exchanges[1].Faults, unsigned{efDisconnect});
  EXPECT_EQ(exchanges[2].Faults, 0u);
  EXPECT_EQ(exchanges[3].Faults, unsigned{efDisconnect});
}

TEST_F(EmulatorTest, StopFromAnotherThread) {
  // While waiting for a connection: Run ends and the port is closed.
  TEmulatorOptions options = Options();
  const std::uint16_t idlePort = Start(options);
  std::thread([this] { FEmulator->Stop(); }).join();
  FEmulator->Wait();
  EXPECT_FALSE(THostClient(idlePort).Connected);

  // In the middle of a long delay: the connection is closed at once.
  options.DelayMs = 600000;
  THostClient host(Start(options));
  host.SendByte(kENQ);
  EXPECT_EQ(host.ReadByte(), kNAK);
  host.SendFrame(Hex("99"));
  EXPECT_EQ(host.ReadByte(), kACK);
  std::thread([this] { FEmulator->Stop(); }).join();
  EXPECT_EQ(host.ReadByte(), kClosed);
  FEmulator->Wait();
}

TEST(EmulatorOptionsTest, BadOptionsAreRejected) {
  TEmulatorOptions options;
  options.Listen = "127.0.0.1:0";
  options.Busy = -1;
  EXPECT_THROW(TEmulator{options}, EQuillonError);
  options.Busy = 0;
  options.Listen = "localhost";
  EXPECT_THROW(TEmulator{options}, EQuillonError);
  options.Listen = "127.0.0.1:65536";
  EXPECT_THROW(TEmulator{options}, EQuillonError);
  options.Listen = "127.0.0.1:0";
  options.LogFile = (std::filesystem::path(::testing::TempDir()) / "no_such.log").string();
  EXPECT_THROW(TEmulator{options}, EQuillonError);
  options.LogFile.clear();
  TEmulator first(options);
  options.Listen = "127.0.0.1:" + std::to_string(first.Listen());
  TEmulator second(options);  // the port is taken
  EXPECT_THROW(second.Listen(), EQuillonError);
}

TEST(EmulatorOptionsTest, ListenAddresses) {
  std::string host;
  std::uint16_t port = 0;
  EXPECT_TRUE(ParseListenAddress("0.0.0.0:7000", host, port));
  EXPECT_EQ(host, "0.0.0.0");
  EXPECT_EQ(port, 7000);
  EXPECT_TRUE(ParseListenAddress(":7001", host, port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 7001);
  EXPECT_TRUE(ParseListenAddress("7002", host, port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_TRUE(ParseListenAddress("[::1]:7003", host, port));
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 7003);
  EXPECT_FALSE(ParseListenAddress("::1:7003", host, port));
  EXPECT_FALSE(ParseListenAddress("host:", host, port));
  EXPECT_FALSE(ParseListenAddress("host:7a", host, port));
  EXPECT_FALSE(ParseListenAddress("host:99999", host, port));
}

TEST(FormatExchangeTest, OneLinePerExchange) {
  TExchange e;
  e.Request = Hex("11 1E 00 00 00");
  e.Source = asLog;
  e.LogLine = 12;
  EXPECT_EQ(FormatExchange(e), "11 1E 00 00 00 -> нет ответа (журнал, строка 12)");
  e.Answered = true;
  e.Answer = Hex("11 50");
  e.Source = asNone;
  e.Faults = efBusy | efDelay | efDisconnect;
  EXPECT_EQ(FormatExchange(e), "11 1E 00 00 00 -> 11 50  [сбой: busy, delay-ms, disconnect-after]");
  e.Kind = ekResend;
  e.Faults = efGarbage;
  EXPECT_EQ(FormatExchange(e), "11 1E 00 00 00 -> 11 50 (повтор ответа)  [сбой: garbage-every]");
  TExchange bad;
  bad.Kind = ekBadFrame;
  bad.Request = Hex("02 01 11 00");
  bad.Refused = true;
  EXPECT_EQ(FormatExchange(bad), "02 01 11 00 -> NAK (неверный кадр)");
  bad.Kind = ekRequest;
  bad.Faults = efNak;
  bad.Source = asNone;
  EXPECT_EQ(FormatExchange(bad), "02 01 11 00 -> NAK  [сбой: nak-every]");

  TExchange missing;  // the log holds no answer, or one too long for the protocol's frame
  missing.Request = Hex("FC");
  missing.Answered = true;
  missing.Answer = Hex("FC 37");
  missing.Source = asBuiltIn;
  missing.LogLine = 7;
  missing.LogAnswerMissing = true;
  EXPECT_EQ(FormatExchange(missing),
            "FC -> FC 37 (журнал, строка 7) (в журнале нет ответа) (встроенный регистратор)");
  missing.AnswerTooLong = true;
  missing.FrameLimit = 65535;
  EXPECT_EQ(FormatExchange(missing),
            "FC -> FC 37 (журнал, строка 7) (встроенный регистратор) "
            "(ответ длиннее 65535 байт не помещается в кадр)");
  TExchange ignored;  // protocols 2 and 3 refuse by silence
  ignored.Request = Hex("FC");
  ignored.Faults = efNak;
  EXPECT_EQ(FormatExchange(ignored), "FC -> нет ответа  [сбой: nak-every]");
}

}  // namespace
}  // namespace quillon
