// The emulator's link protocols 1, 2 and 3 as a host meets them: over a loopback socket or
// the emulator's pseudo-terminal, with frames built by the codecs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/BinUtils.h"
#include "core/KorvanProtocol1.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"
#include "emulator/Emulator.h"

namespace quillon {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr int kClosed = -1;   // ReadByte: the emulator closed the connection
constexpr int kNothing = -2;  // ReadByte: no byte within the limit
constexpr int kReadLimitMs = 3000;
constexpr int kSilenceMs = 300;  // long enough for an emulator that reacts at once

TBytes Hex(std::string_view text) {
  return HexToBytes(text);
}

// What the device sent back for a request frame.
struct TReply {
  int Ack = kNothing;  // protocol 1: ACK or NAK; protocol 3: the 06; protocol 2: unused
  bool Framed = false;
  bool Good = false;  // the frame's check value is right
  TBytes Payload;
  std::int32_t Number = 0;
};

// The host side of a link, one step at a time, over a socket or a terminal.
class THost {
 public:
  THost(int protocol, int fd, bool socket) : FProtocol(protocol), FFd(fd), FSocket(socket) {}
  static std::unique_ptr<THost> Tcp(int protocol, std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return std::make_unique<THost>(protocol, fd, true);
  }
  ~THost() { close(FFd); }

  void Send(TBytesView bytes) {
    const ssize_t n = FSocket ? send(FFd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                              : write(FFd, bytes.data(), bytes.size());
    EXPECT_EQ(n, static_cast<ssize_t>(bytes.size()));
  }
  void SendByte(std::uint8_t b) { Send(TBytesView(&b, 1)); }

  int ReadByte(int limitMs = kReadLimitMs) {
    pollfd p{FFd, POLLIN, 0};
    if (poll(&p, 1, limitMs) <= 0) return kNothing;
    std::uint8_t b = 0;
    return read(FFd, &b, 1) == 1 ? b : kClosed;
  }

  TBytes Frame(TBytesView payload, std::int32_t number) const {
    if (FProtocol == 2) return TKorvanProtocol2::Encode({TBytes(payload), number});
    if (FProtocol == 3) return TKorvanProtocol3::Encode({TBytes(payload), number});
    return TKorvanProtocol1::Encode(payload);
  }
  // Sends a request frame; protocol 1 first asks with ENQ whether the device is ready.
  void SendRequest(TBytesView payload, std::int32_t number, bool broken = false) {
    if (FProtocol == 1) {
      SendByte(kENQ);
      EXPECT_EQ(ReadByte(), kNAK);
    }
    TBytes frame = Frame(payload, number);
    if (broken) frame.back() ^= 0x01;
    Send(frame);
    FLastPayload = payload;
    FNumber = number;
  }
  // The device's reply to a request frame: the acknowledgement, then the answer frame.
  TReply ReadReply(int limitMs = kReadLimitMs) {
    TReply reply;
    if (FProtocol != 2) {
      reply.Ack = ReadByte(limitMs);
      if (reply.Ack != (FProtocol == 1 ? kACK : kProtocol3Ack)) return reply;
    }
    ReadFrame(reply, limitMs);
    return reply;
  }
  // A well-behaved exchange; answers the payload of a good answer frame.
  TBytes Exchange(TBytesView payload) {
    SendRequest(payload, FNumber + 1);
    TReply reply = ReadReply();
    if (FProtocol == 1 && reply.Good) SendByte(kACK);
    EXPECT_TRUE(reply.Good) << FProtocol << ": " << BytesToHex(payload);
    if (FProtocol != 1) {
      EXPECT_EQ(reply.Number, FNumber);
    }
    return reply.Payload;
  }
  // Asks for the last answer again, as after a bad one: protocol 1 with NAK and ENQ (and
  // ACK for a good one then), the others with the last request's number.
  TReply AskAgain() {
    if (FProtocol != 1) {
      Send(Frame(FLastPayload, FNumber));
      return ReadReply();
    }
    SendByte(kNAK);
    SendByte(kENQ);
    TReply reply = ReadReply();
    if (reply.Good) SendByte(kACK);
    return reply;
  }
  // Whether the device ignored or refused the last frame, as the protocol does that.
  bool Refused() {
    if (FProtocol == 1) return ReadByte() == kNAK;
    return ReadByte(kSilenceMs) == kNothing;
  }
  std::int32_t Number() const { return FNumber; }

 private:
  void ReadFrame(TReply& reply, int limitMs) {
    const std::uint8_t start =
        FProtocol == 1 ? kSTX : (FProtocol == 2 ? kProtocol2Start : kProtocol3Start);
    const int first = ReadByte(limitMs);
    if (first != start) return;
    TBytes raw(1, start);
    auto more = [&](std::size_t count) {
      for (std::size_t i = 0; i < count; ++i) {
        const int b = ReadByte();
        if (b < 0) return false;
        raw.push_back(static_cast<std::uint8_t>(b));
      }
      return true;
    };
    reply.Framed = true;
    if (FProtocol == 1) {
      if (!more(1) || !more(raw[1] + 1u)) return;
      std::size_t consumed = 0;
      reply.Good = TKorvanProtocol1::Decode(TBytesView(raw), reply.Payload, consumed);
    } else if (FProtocol == 3) {
      if (!more(4) || !more((raw[3] | raw[4] << 8) + 2u)) return;
      TKorvanFrame3 frame;
      reply.Good = TKorvanProtocol3::Decode(raw, frame);
      reply.Payload = frame.Data;
      reply.Number = frame.Number;
    } else {
      TProtocol2Unstuffer unstuffer;
      std::size_t body = 0, needed = 4;
      std::uint8_t length[2] = {};
      while (body < needed) {
        if (!more(1)) return;
        const auto b = unstuffer.Feed(raw.back());
        if (!b) continue;
        if (body < 2) length[body] = *b;
        if (++body == 2) needed = (length[0] | length[1] << 8) + 4u;  // LEN, its bytes, CRC
      }
      TKorvanFrame2 frame;
      reply.Good = TKorvanProtocol2::Decode(raw, frame);
      reply.Payload = frame.Data;
      reply.Number = frame.Number;
    }
  }

  int FProtocol;
  int FFd;
  bool FSocket;
  std::int32_t FNumber = 0;
  TBytes FLastPayload;
};

// A driver log of one protocol's exchanges, written the way the driver writes it.
class TLog {
 public:
  explicit TLog(int protocol) : FProtocol(protocol) {}
  // Adds one exchange; an empty answer: the device never answered. Answers the line
  // number of the request frame.
  int Add(std::string_view request, std::string_view answer) {
    ++FNumber;
    Line("-> " + BytesToHex(Frame(Hex(request))));
    const int line = static_cast<int>(FLines.size());
    if (FProtocol != 2) Line("<- 06");
    if (!answer.empty()) Line("<- " + BytesToHex(Frame(Hex(answer))));
    return line;
  }
  std::string Save(const std::string& name) const {
    const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
    std::ofstream out(path, std::ios::binary);
    for (const std::string& line : FLines) out << line << "\r\n";
    return path.string();
  }

 private:
  TBytes Frame(const TBytes& payload) const {
    if (FProtocol == 2) return TKorvanProtocol2::Encode({payload, FNumber});
    if (FProtocol == 3) return TKorvanProtocol3::Encode({payload, FNumber});
    return TKorvanProtocol1::Encode(payload);
  }
  void Line(const std::string& text) {
    const char* marker = FProtocol == 2   ? "TPrinterProtocol2 "
                         : FProtocol == 3 ? "TPrinterProtocol3 "
                                          : "TPrinterProtocol ";
    FLines.push_back(std::string("[07.03.2025 14:05:09.123] [00001A2C] [DEBUG] ") + marker + text);
  }
  int FProtocol;
  std::int32_t FNumber = 0;
  std::vector<std::string> FLines;
};

class EmulatorLinksTest : public ::testing::TestWithParam<int> {
 protected:
  int Protocol() const { return GetParam(); }
  TEmulatorOptions Options() {
    TEmulatorOptions options;
    options.Listen = "127.0.0.1:0";
    options.ByteTimeoutMs = 0;
    options.Protocol = Protocol();
    options.OnExchange = [this](const TExchange& exchange) {
      std::lock_guard lock(FMutex);
      FExchanges.push_back(exchange);
    };
    return options;
  }
  std::unique_ptr<THost> Start(TEmulatorOptions options) {
    FEmulator = std::make_unique<TEmulator>(std::move(options));
    FPort = FEmulator->Start();
    return THost::Tcp(Protocol(), FPort);
  }
  std::vector<TExchange> Exchanges() {
    std::lock_guard lock(FMutex);
    return FExchanges;
  }
  std::string SaveLog(const TLog& log, const std::string& name) {
    return log.Save(name + std::to_string(Protocol()) + ".log");
  }
  void TearDown() override {
    if (!FEmulator) return;
    FEmulator->Stop();
    FEmulator->Wait();
  }

  std::mutex FMutex;
  std::vector<TExchange> FExchanges;
  std::uint16_t FPort = 0;
  std::unique_ptr<TEmulator> FEmulator;  // last: stopped before the records go
};

INSTANTIATE_TEST_SUITE_P(Protocols, EmulatorLinksTest, ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& p) {
                           return "Protocol" + std::to_string(p.param);
                         });

TEST_P(EmulatorLinksTest, ExchangeBadFrameRepeatAndSync) {
  TLog log(Protocol());
  log.Add("21 01", "21 00 01");
  log.Add("21 01", "21 00 02");
  TEmulatorOptions options = Options();
  options.LogFile = SaveLog(log, "links_basic");
  auto host = Start(options);
  EXPECT_EQ(FEmulator->Protocol(), Protocol());

  EXPECT_EQ(host->Exchange(Hex("99 01")), Hex("99 37"));
  host->SendRequest(Hex("99 02"), host->Number() + 1, true);  // a broken check value
  EXPECT_TRUE(host->Refused());

  host->SendRequest(Hex("21 01"), host->Number() + 1);
  EXPECT_EQ(host->ReadReply().Payload, Hex("21 00 01"));
  const TReply again = host->AskAgain();  // not executed twice: the log's second stays
  EXPECT_TRUE(again.Good);
  EXPECT_EQ(again.Payload, Hex("21 00 01"));
  EXPECT_EQ(host->Exchange(Hex("21 01")), Hex("21 00 02"));

  if (Protocol() != 1) {
    host->Send(host->Frame(TBytes(), 0));  // Sync: an empty frame answers it
    const TReply sync = host->ReadReply();
    EXPECT_TRUE(sync.Good);
    EXPECT_TRUE(sync.Payload.empty());
    // After Sync the numbers start afresh: the same number is a new request.
    host->SendRequest(Hex("21 01"), host->Number());
    EXPECT_EQ(host->ReadReply().Payload, Hex("21 00 01"));  // and the log wraps
  }

  const auto exchanges = Exchanges();
  const std::vector<TExchangeKind> kinds =
      Protocol() == 1
          ? std::vector{ekRequest, ekBadFrame, ekRequest, ekResend, ekRequest}
          : std::vector{ekRequest, ekBadFrame, ekRequest, ekResend, ekRequest, ekSync, ekRequest};
  ASSERT_EQ(exchanges.size(), kinds.size());
  for (std::size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(exchanges[i].Kind, kinds[i]) << i;
  EXPECT_EQ(exchanges[1].Refused, Protocol() == 1);  // NAK only in protocol 1
  EXPECT_FALSE(exchanges[1].Answered);
  EXPECT_EQ(exchanges[2].Source, asLog);
  if (Protocol() != 1) {
    EXPECT_EQ(FormatExchange(exchanges[5]), "Sync -> Sync");
  }
}

TEST_P(EmulatorLinksTest, FaultsInEveryProtocol) {
  struct TCase {
    const char* Name;
    int TEmulatorOptions::*Option;
    unsigned Fault;
  };
  const TCase cases[] = {
      {"nak-every", &TEmulatorOptions::NakEvery, efNak},
      {"drop-every", &TEmulatorOptions::DropEvery, efDrop},
      {"garbage-every", &TEmulatorOptions::GarbageEvery, efGarbage},
      {"disconnect-after", &TEmulatorOptions::DisconnectAfter, efDisconnect},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TearDown();
    FExchanges.clear();
    TEmulatorOptions options = Options();
    options.*c.Option = 2;
    auto host = Start(options);
    EXPECT_EQ(host->Exchange(Hex("99")), Hex("99 37"));
    host->SendRequest(Hex("98"), host->Number() + 1);  // the second: the fault
    const TReply reply = host->ReadReply(kSilenceMs);
    if (c.Fault == efNak) {
      EXPECT_EQ(reply.Ack, Protocol() == 1 ? kNAK : kNothing);
      EXPECT_FALSE(reply.Framed);
    } else if (c.Fault == efDrop) {
      EXPECT_EQ(reply.Ack, Protocol() == 1 ? kACK : (Protocol() == 3 ? kProtocol3Ack : kNothing));
      EXPECT_FALSE(reply.Framed);
    } else if (c.Fault == efGarbage) {
      EXPECT_TRUE(reply.Framed);
      EXPECT_FALSE(reply.Good);
    } else {
      EXPECT_TRUE(reply.Good);
      EXPECT_EQ(host->ReadByte(), kClosed);
    }
    if (c.Fault != efDisconnect) {
      // Asked again, the device answers: refused and dropped requests were not executed,
      // the broken answer is sent again intact.
      const TReply retry = c.Fault == efGarbage ? host->AskAgain() : [&] {
        host->SendRequest(Hex("98"), host->Number() + 1);
        return host->ReadReply();
      }();
      EXPECT_TRUE(retry.Good);
      EXPECT_EQ(retry.Payload, Hex("98 37"));
    }
    const auto exchanges = Exchanges();
    ASSERT_GE(exchanges.size(), 2u);
    EXPECT_EQ(exchanges[0].Faults, 0u);
    EXPECT_EQ(exchanges[1].Faults, c.Fault);
  }
}

TEST_P(EmulatorLinksTest, LogPositionWrapsAndIsPerConnection) {
  TLog log(Protocol());
  const int first = log.Add("11 01", "11 00 AA");
  log.Add("21 01", "21 00 01");
  const int second = log.Add("11 01", "11 00 BB");
  log.Add("21 01", "21 00 02");
  TEmulatorOptions options = Options();
  options.Protocol = 0;  // as the log
  options.LogFile = SaveLog(log, "links_wrap");
  auto a = Start(options);
  EXPECT_EQ(FEmulator->Protocol(), Protocol());
  auto b = THost::Tcp(Protocol(), FPort);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    // Both clients at once, each at its own place in the log.
    EXPECT_EQ(a->Exchange(Hex("11 01")), Hex("11 00 AA"));
    EXPECT_EQ(a->Exchange(Hex("21 01")), Hex("21 00 01"));
    EXPECT_EQ(b->Exchange(Hex("11 01")), Hex("11 00 AA"));
    EXPECT_EQ(a->Exchange(Hex("11 01")), Hex("11 00 BB"));
    EXPECT_EQ(b->Exchange(Hex("21 01")), Hex("21 00 01"));
    EXPECT_EQ(a->Exchange(Hex("21 01")), Hex("21 00 02"));
    EXPECT_EQ(b->Exchange(Hex("11 01")), Hex("11 00 BB"));
    EXPECT_EQ(b->Exchange(Hex("21 01")), Hex("21 00 02"));
  }
  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 16u);
  EXPECT_EQ(exchanges[8].LogLine, first);  // the second pass, from the start
  EXPECT_EQ(exchanges[11].LogLine, second);
  for (const TExchange& e : exchanges) EXPECT_EQ(e.Source, asLog);
}

TEST_P(EmulatorLinksTest, MissingLogAnswerComesFromTheBuiltInRegisterAtOnce) {
  TLog log(Protocol());
  const int silent = log.Add("FC", "");
  TEmulatorOptions options = Options();
  options.LogFile = SaveLog(log, "links_missing");
  auto host = Start(options);
  const auto start = TClock::now();
  const TBytes answer = host->Exchange(Hex("FC"));
  EXPECT_LT(TClock::now() - start, 1s);
  EXPECT_EQ(answer.substr(0, 2), Hex("FC 00"));
  const auto exchanges = Exchanges();
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].Source, asBuiltIn);
  EXPECT_TRUE(exchanges[0].LogAnswerMissing);
  EXPECT_EQ(exchanges[0].LogLine, silent);
}

TEST_P(EmulatorLinksTest, PacedLikeALine) {
  // An answer frame of 240 bytes at 2400 baud takes 240 * 10 / 2400 = 1 s on the line.
  const std::size_t payload = Protocol() == 1 ? 237 : 233;
  TLog log(Protocol());
  log.Add("30 01", BytesToHex(Hex("30 00") + TBytes(payload - 2, 0x41)));
  TEmulatorOptions options = Options();
  options.LogFile = SaveLog(log, "links_paced");
  options.Baud = 2400;
  auto host = Start(options);
  const auto start = TClock::now();
  EXPECT_EQ(host->Exchange(Hex("30 01")).size(), payload);
  const auto elapsed = TClock::now() - start;
  EXPECT_GE(elapsed, 800ms);
  EXPECT_LT(elapsed, 10s);
}

TEST(EmulatorServingTest, IdleClientIsDroppedOthersAreServed) {
  TEmulatorOptions options;
  options.Listen = "127.0.0.1:0";
  options.ByteTimeoutMs = 0;
  options.IdleTimeoutS = 1;
  TEmulator emulator(options);
  const std::uint16_t port = emulator.Start();
  auto idle = THost::Tcp(1, port);
  auto busy = THost::Tcp(1, port);
  const auto start = TClock::now();
  for (int i = 0; i < 6; ++i) {  // the busy client keeps going while the other one idles
    EXPECT_EQ(busy->Exchange(Hex("99")), Hex("99 37"));
    std::this_thread::sleep_for(300ms);
  }
  EXPECT_EQ(idle->ReadByte(kSilenceMs), kClosed);
  EXPECT_GE(TClock::now() - start, 1s);
  EXPECT_EQ(busy->Exchange(Hex("98")), Hex("98 37"));
  emulator.Stop();
  emulator.Wait();
}

// Opens the slave side of the emulator's terminal as a serial port is opened: raw.
int OpenTerminal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  EXPECT_GE(fd, 0) << path;
  termios mode{};
  tcgetattr(fd, &mode);
  cfmakeraw(&mode);
  cfsetspeed(&mode, B9600);
  tcsetattr(fd, TCSANOW, &mode);
  return fd;
}

TEST(EmulatorServingTest, PseudoTerminalEndToEnd) {
  for (int protocol : {1, 3}) {
    SCOPED_TRACE(protocol);
    std::mutex mutex;
    std::vector<std::string> notices;
    TEmulatorOptions options;
    options.Pty = true;
    options.Protocol = protocol;
    options.ByteTimeoutMs = 0;
    options.OnNotice = [&](const std::string& text) {
      std::lock_guard lock(mutex);
      notices.push_back(text);
    };
    TEmulator emulator(options);
    EXPECT_EQ(emulator.Start(), 0);
    const std::string path = emulator.TerminalPath();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    auto waitNotices = [&](std::size_t count) {
      const auto deadline = TClock::now() + 3s;
      for (;;) {
        {
          std::lock_guard lock(mutex);
          if (notices.size() >= count || TClock::now() > deadline) return;
        }
        std::this_thread::sleep_for(10ms);
      }
    };
    for (int client = 0; client < 2; ++client) {  // the terminal stays for the next client
      waitNotices(2 * client);                    // the last one's close was seen
      THost host(protocol, OpenTerminal(path), false);
      EXPECT_EQ(host.Exchange(Hex("99 01")), Hex("99 37"));
      EXPECT_EQ(host.Exchange(Hex("FC")).substr(0, 2), Hex("FC 00"));
      if (protocol == 1) {  // the last answer is left unread: not for the next client
        host.SendRequest(Hex("97"), 0);
        EXPECT_EQ(host.ReadByte(), kACK);
        std::this_thread::sleep_for(50ms);
      }
    }
    waitNotices(4);  // the close is seen once the client has gone
    emulator.Stop();
    emulator.Wait();
    std::lock_guard lock(mutex);
    ASSERT_EQ(notices.size(), 4u);
    EXPECT_EQ(notices[0], "Соединение с " + path);
    EXPECT_EQ(notices[1], "Соединение закрыто");
  }
}

TEST(EmulatorServingTest, StopEndsEveryConnectionPromptly) {
  TEmulatorOptions options;
  options.Listen = "127.0.0.1:0";
  options.ByteTimeoutMs = 0;
  options.DelayMs = 600000;
  TEmulator emulator(options);
  const std::uint16_t port = emulator.Start();
  auto waiting = THost::Tcp(2, port);
  auto quiet = THost::Tcp(2, port);
  waiting->SendRequest(Hex("99"), 1);  // its answer is held back for ten minutes
  std::this_thread::sleep_for(50ms);
  const auto start = TClock::now();
  std::thread([&emulator] { emulator.Stop(); }).join();
  EXPECT_EQ(waiting->ReadByte(), kClosed);
  EXPECT_EQ(quiet->ReadByte(), kClosed);
  emulator.Wait();
  EXPECT_LT(TClock::now() - start, 2s);
}

}  // namespace
}  // namespace quillon
