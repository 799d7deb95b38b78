// The traffic trace: written in the log format, read back by the log loader as the
// commands the driver sent, each with the answer the device gave.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "DriverTestUtils.h"
#include "FakeDevice.h"
#include "core/LogLoader.h"
#include "driver/DriverTrace.h"
#include "driver/TarvexDriver.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::EchoAnswer;
using test::Hex;
using test::ProtocolName;
using test::ProtocolSettings;
using test::TFakeDevice;

class TraceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quillon-trace-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    FDir = pattern;
    FPath = (FDir / "trace.log").string();
  }
  void TearDown() override { fs::remove_all(FDir); }

  TCommandList Load() {
    TCommandList list;
    TLogLoadResult result = LoadLog(TLogSource::File(FPath), list);
    EXPECT_TRUE(result.Diagnostics.empty());
    return list;
  }

  fs::path FDir;
  std::string FPath;
};

// What the loaded trace must hold for one command.
struct TExpected {
  int Protocol;
  std::string Tx;
  std::string Answer;
  std::uint32_t Thread;
};

void ExpectCommands(const TCommandList& list, const std::vector<TExpected>& expected) {
  ASSERT_EQ(list.Count(), expected.size());
  const std::regex time(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3})");
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const TCommand& command = list[i];
    EXPECT_EQ(command.Protocol(), static_cast<TProtocol>(expected[i].Protocol));
    EXPECT_EQ(command.TxData(), expected[i].Tx);
    EXPECT_EQ(command.AnswerData(), expected[i].Answer);
    EXPECT_TRUE(std::regex_match(command.TimeStamp(), time)) << command.TimeStamp();
    EXPECT_EQ(command.ThreadID(), IntToHex(expected[i].Thread, 8));
  }
}

class DriverTrace : public TraceFile, public ::testing::WithParamInterface<int> {};
INSTANTIATE_TEST_SUITE_P(All, DriverTrace, ::testing::Values(1, 2, 3), ProtocolName);

TEST_P(DriverTrace, ReadsBackAsTheCommandsSentWithTheirAnswers) {
  const int protocol = GetParam();
  // What was in the file before goes.
  std::ofstream(FPath) << "[01.12.2024 10:00:00.039] [00001A2C] [DEBUG] TPrinterProtocol2 -> "
                          "8F 03 00 01 00 FC 7D E6\r\n";
  auto device = TFakeDevice::ListenTcp();
  ASSERT_NE(device, nullptr);
  device->ServeProtocol(protocol, EchoAnswer);
  device->Start();
  TDriverSettings settings = ProtocolSettings(device->Uri(), protocol);
  settings.TraceFile = FPath;
  TDriver driver(settings);
  const std::vector<TBytes> requests = {Hex("11 1E 00 00 00"), Hex("FF 01 1E 00 00 00"),
                                        Hex("80 1E 00 00 00 8F 9F 06 15 05 02 82")};
  const std::uint32_t thread = CurrentThreadNumber();
  std::vector<TExpected> expected;
  if (protocol == 2) expected.push_back({2, "", "", thread});  // the Sync
  for (const TBytes& request : requests) {
    driver.SetTransferBytes(BytesToHex(request));
    ASSERT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
    expected.push_back({protocol, BytesToHex(request), BytesToHex(EchoAnswer(request)), thread});
  }
  EXPECT_EQ(device->Finish(), "");
  ExpectCommands(Load(), expected);
}

TEST_F(TraceFile, KeepsEveryAnswerWithItsProtocolAndThread) {
  // Three devices, one a protocol; the driver goes from one to the next, and back.
  std::unique_ptr<TFakeDevice> devices[3];
  for (int protocol = 1; protocol <= 3; ++protocol) {
    devices[protocol - 1] = TFakeDevice::ListenTcp();
    ASSERT_NE(devices[protocol - 1], nullptr);
    devices[protocol - 1]->ServeProtocol(protocol, EchoAnswer);
    devices[protocol - 1]->Start();
  }
  TDriver driver;
  std::vector<TExpected> expected;
  auto exchange = [&](int protocol, const TBytes& request) {
    TDriverSettings settings = ProtocolSettings(devices[protocol - 1]->Uri(), protocol);
    settings.TraceFile = FPath;
    driver.SetSettings(settings);
    if (protocol == 2) expected.push_back({2, "", "", CurrentThreadNumber()});
    driver.SetTransferBytes(BytesToHex(request));
    ASSERT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
    expected.push_back(
        {protocol, BytesToHex(request), BytesToHex(EchoAnswer(request)), CurrentThreadNumber()});
  };
  exchange(3, Hex("11 1E 00 00 00"));
  exchange(2, Hex("12 1E 00 00 00"));
  exchange(1, Hex("13 1E 00 00 00"));
  exchange(3, Hex("14 1E 00 00 00"));
  // A command of another thread is written with that thread.
  std::thread other([&] { exchange(2, Hex("15 1E 00 00 00")); });
  other.join();
  EXPECT_NE(expected.back().Thread, CurrentThreadNumber());
  exchange(1, Hex("16 1E 00 00 00"));
  for (auto& device : devices) EXPECT_EQ(device->Finish(), "");
  ExpectCommands(Load(), expected);

  // No trace: the file stays as it was.
  const auto size = fs::file_size(FPath);
  TDriverSettings settings = ProtocolSettings(devices[0]->Uri(), 1);
  driver.SetSettings(settings);
  driver.SetTransferBytes("10");
  driver.ExchangeBytes();
  EXPECT_EQ(fs::file_size(FPath), size);
}

TEST(DriverTraceLines, HaveTheShapeOfTheDriversLog) {
  struct TCase {
    int Protocol;
    bool Sent;
    const char* Hex;
    const char* Line;
  };
  // Lines as samples/sample.log has them.
  const TCase cases[] = {
      {2, true, "8F 00 00 0F 1D",
       "[01.12.2024 10:00:01.991] [00001A2C] [DEBUG] TPrinterProtocol2 -> 8F 00 00 0F 1D"},
      {2, false, "8F 05 00 2E 00 17 00 01 A7 99",
       "[01.12.2024 10:00:01.991] [00001A2C] [DEBUG] TPrinterProtocol2 <- 8F 05 00 2E 00 17 00 01 "
       "A7 99"},
      {3, false, "06", "[01.12.2024 10:00:01.991] [00001A2C] [DEBUG] TPrinterProtocol3 <- 06"},
      {3, true, "82 00 32 01 00 FC 16 CE",
       "[01.12.2024 10:00:01.991] [00001A2C] [DEBUG] TPrinterProtocol3 -> 82 00 32 01 00 FC 16 CE"},
      {1, true, "05", "[01.12.2024 10:00:01.991] [00001A2C] [DEBUG] TPrinterProtocol -> 05"},
      {1, false, "15", "[01.12.2024 10:00:01.991] [00001A2C] [DEBUG] TPrinterProtocol <- 15"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(FormatTraceLine("01.12.2024 10:00:01.991", 0x1A2C, c.Protocol, c.Sent, Hex(c.Hex)),
              c.Line);
  const std::string stamp = TraceTimeStamp();
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3})")))
      << stamp;
}

TEST(DriverTraceLines, AFileThatCannotBeWrittenDoesNotStopTheExchange) {
  auto device = TFakeDevice::ListenTcp();
  ASSERT_NE(device, nullptr);
  device->ServeProtocol(3, EchoAnswer);
  device->Start();
  TDriverSettings settings = ProtocolSettings(device->Uri(), 3);
  settings.TraceFile = "/nonexistent/folder/trace.log";
  TDriver driver(settings);
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(device->Finish(), "");

  TDriverTrace trace(settings.TraceFile);
  trace.Sent(3, Hex("82"));
  EXPECT_EQ(trace.Error().find("Не удалось открыть файл трассировки обмена: "
                               "/nonexistent/folder/trace.log"),
            0u)
      << trace.Error();
}

}  // namespace
}  // namespace quillon
