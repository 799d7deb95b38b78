// The links of the three protocols through the driver, against a device serving each of
// them: sessions, frame numbers, answers dropped and asked for again, bounded retries, the
// protocol chosen, the longest requests, slow serial lines.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "DriverTestUtils.h"
#include "FakeDevice.h"
#include "core/KorvanProtocol2.h"
#include "core/KorvanProtocol3.h"
#include "core/LinkProtocol.h"
#include "driver/DriverLink.h"
#include "driver/DriverLink2.h"
#include "driver/DriverLink3.h"
#include "driver/TarvexDriver.h"

namespace quillon {
namespace {

using test::EchoAnswer;
using test::Hex;
using test::ProtocolName;
using test::ProtocolSettings;
using test::TFakeDevice;
using TFault = TFakeDevice::TFault;
using TClock = std::chrono::steady_clock;

std::unique_ptr<TFakeDevice> Serving(int protocol, std::vector<TFakeDevice::TFrameStep> plan = {},
                                     TFakeDevice::TResponder responder = EchoAnswer) {
  auto device = TFakeDevice::ListenTcp();
  EXPECT_NE(device, nullptr);
  device->ServeProtocol(protocol, std::move(responder), std::move(plan));
  device->Start();
  return device;
}

// Sends `request` and checks that the device's echo comes back.
void ExpectEcho(TDriver& driver, const TBytes& request) {
  driver.SetTransferBytes(BytesToHex(request));
  EXPECT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
  EXPECT_EQ(driver.TransferBytes(), BytesToHex(EchoAnswer(request)));
}

std::vector<std::uint32_t> Numbers(const std::vector<TFakeDevice::TFrameSeen>& frames) {
  std::vector<std::uint32_t> numbers;
  for (const auto& frame : frames) numbers.push_back(frame.Number);
  return numbers;
}

class DriverProtocols : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(All, DriverProtocols, ::testing::Values(1, 2, 3), ProtocolName);

TEST_P(DriverProtocols, ExchangesCommandsInOneSession) {
  const int protocol = GetParam();
  auto device = Serving(protocol);
  TDriver driver(ProtocolSettings(device->Uri(), protocol));
  EXPECT_EQ(driver.UsedProtocol(), protocol);
  const std::vector<TBytes> requests = {Hex("11 1E 00 00 00"), Hex("FF 01 1E 00 00 00"),
                                        Hex("80 1E 00 00 00 8F 9F 9F 81 06 15 82 02")};
  for (const TBytes& request : requests) ExpectEcho(driver, request);
  EXPECT_EQ(device->Finish(), "");
  EXPECT_EQ(device->Served(), requests);
  // One Sync opens the session of protocol 2; numbered requests count from 1.
  EXPECT_EQ(device->Syncs(), protocol == 2 ? 1 : 0);
  const std::vector<std::uint32_t> numbers =
      protocol == 1 ? std::vector<std::uint32_t>{0, 0, 0} : std::vector<std::uint32_t>{1, 2, 3};
  EXPECT_EQ(Numbers(device->Frames()), numbers);
}

TEST_P(DriverProtocols, RefusesRequestsLongerThanAFrame) {
  const int protocol = GetParam();
  const std::size_t longest = MaxFrameData(protocol);
  EXPECT_EQ(longest, protocol == 1   ? kProtocol1MaxData
                     : protocol == 2 ? kProtocol2MaxData
                                     : kProtocol3MaxData);
  auto device = Serving(protocol, {}, [](const TBytes& request) {
    return request.substr(0, 1) + MakeBytes({0x00, static_cast<std::uint8_t>(request.size())});
  });
  TDriver driver(ProtocolSettings(device->Uri(), protocol));
  TBytes request(longest + 1, 0x5A);
  request[0] = 0x17;
  driver.SetTransferBytes(BytesToHex(request));
  EXPECT_EQ(driver.ExchangeBytes(), deRequestTooLong);
  EXPECT_EQ(driver.ResultCodeDescription(),
            "Команда длиннее " + std::to_string(longest) + " байт не помещается в кадр");
  EXPECT_EQ(driver.TransferBytes(), "");
  EXPECT_TRUE(device->Frames().empty());
  // One byte less fits.
  request.pop_back();
  driver.SetTransferBytes(BytesToHex(request));
  EXPECT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
  EXPECT_EQ(driver.TransferBytes(),
            BytesToHex(MakeBytes({0x17, 0x00, static_cast<std::uint8_t>(request.size())})));
  EXPECT_EQ(device->Finish(), "");
  ASSERT_EQ(device->Served().size(), 1u);
  EXPECT_EQ(device->Served()[0], request);
}

// A serial line at 2400 baud: a 200-byte request takes 0.86 s on the wire, longer than the
// answer timeout, and so does the 220-byte answer. The device reacts only once the request
// has come over such a line and sends its bytes at the line's pace.
TEST_P(DriverProtocols, WaitsForTheWireOnASlowSerialLine) {
  const int protocol = GetParam();
  auto device = TFakeDevice::OpenPty();
  ASSERT_NE(device, nullptr);
  device->SetLineSpeed(2400);
  device->ServeProtocol(protocol, [](const TBytes& request) {
    TBytes answer = request.substr(0, 1) + MakeBytes({0x00});
    answer.resize(220, 0xA5);
    return answer;
  });
  device->Start();
  TDriverSettings settings = ProtocolSettings(device->SerialUri(2400), protocol);
  settings.ByteTimeout = 50;
  settings.AnswerTimeout = 300;
  TDriver driver(settings);
  TBytes request(200, 0x11);
  request[0] = 0x17;
  driver.SetTransferBytes(BytesToHex(request));
  const auto start = TClock::now();
  EXPECT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
  const auto took = TClock::now() - start;
  TBytes answer = MakeBytes({0x17, 0x00});
  answer.resize(220, 0xA5);
  EXPECT_EQ(driver.TransferBytes(), BytesToHex(answer));
  // The line was as slow as it should be.
  EXPECT_GE(took, std::chrono::milliseconds(1500));
  EXPECT_EQ(device->Finish(), "");
  EXPECT_EQ(device->Served().size(), 1u);
}

TEST(DriverProtocol, IsTheLogsUnlessTheSettingsNameOne) {
  TDriver driver;
  EXPECT_EQ(driver.UsedProtocol(), 1);
  struct TCase {
    int Setting;
    int Log;
    int Used;
  };
  const TCase cases[] = {{0, 3, 3},  {0, 2, 2}, {0, 1, 1}, {0, 7, 1}, {0, 0, 1},
                         {0, -2, 1}, {2, 3, 2}, {1, 3, 1}, {3, 1, 3}};
  for (const TCase& c : cases) {
    TDriverSettings settings;
    settings.Protocol = c.Setting;
    driver.SetSettings(settings);
    driver.SetLogProtocol(c.Log);
    EXPECT_EQ(driver.UsedProtocol(), c.Used) << c.Setting << " " << c.Log;
  }

  // "As the log" over the wire.
  auto device = Serving(3);
  TDriver played(test::FastSettings(device->Uri()));
  played.SetLogProtocol(3);
  ExpectEcho(played, Hex("11 1E 00 00 00"));
  EXPECT_EQ(device->Finish(), "");
  EXPECT_EQ(Numbers(device->Frames()), std::vector<std::uint32_t>{1});
}

TEST(LinkTimeouts, AddTheTimeBytesTakeOnTheWire) {
  TLinkTimeouts timeouts;
  timeouts.ByteTimeout = 50;
  timeouts.AnswerTimeout = 1000;
  // TCP: nothing is added.
  EXPECT_EQ(timeouts.WireTime(100000), 0);
  EXPECT_EQ(timeouts.ReplyWait(300), 200);
  EXPECT_EQ(timeouts.AnswerWait(300), 1000);
  EXPECT_EQ(timeouts.ByteWait(), 50);
  EXPECT_EQ(timeouts.WriteWait(300), 1000);
  // 2400 baud: 240 bytes take a second; one byte 4.2 ms, rounded up.
  timeouts.BaudRate = 2400;
  EXPECT_EQ(timeouts.WireTime(240), 1000);
  EXPECT_EQ(timeouts.WireTime(1), 5);
  EXPECT_EQ(timeouts.WireTime(0), 0);
  EXPECT_EQ(timeouts.ReplyWait(239), 1200);
  EXPECT_EQ(timeouts.AnswerWait(239), 2000);
  EXPECT_EQ(timeouts.AnswerWait(0), 1005);
  EXPECT_EQ(timeouts.ByteWait(), 55);
  EXPECT_EQ(timeouts.WriteWait(240), 2000);
  // The longest frame of protocol 2, every byte stuffed, at the slowest speed.
  EXPECT_EQ(timeouts.WireTime(2 * 65541), 546175);
  timeouts.BaudRate = 115200;
  EXPECT_EQ(timeouts.WireTime(11520), 1000);
}

// Protocols 2 and 3, whose frames carry numbers.
class NumberedProtocols : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(All, NumberedProtocols, ::testing::Values(2, 3), ProtocolName);

TEST_P(NumberedProtocols, AsksAgainWithTheSameNumberAndTheDeviceDoesNotRepeatTheCommand) {
  const int protocol = GetParam();
  // A corrupt answer, an answer of another number, a request taken for damaged (no answer
  // in protocol 2, no 06 in protocol 3): each is dropped and the request sent again.
  for (TFault fault : {TFakeDevice::sfBadCrc, TFakeDevice::sfOtherNumber, TFakeDevice::sfIgnore}) {
    SCOPED_TRACE(fault);
    auto device = Serving(protocol, {{fault, 0}});
    TDriver driver(ProtocolSettings(device->Uri(), protocol));
    const TBytes first = Hex("80 1E 00 00 00 10 27 00 00 00");
    const TBytes second = Hex("11 1E 00 00 00");
    ExpectEcho(driver, first);
    ExpectEcho(driver, second);
    EXPECT_EQ(device->Finish(), "");
    EXPECT_EQ(Numbers(device->Frames()), (std::vector<std::uint32_t>{1, 1, 2}));
    EXPECT_EQ(device->Frames()[1].Data, first);
    // Carried out once, although it came twice (a frame taken for damaged is not carried out).
    EXPECT_EQ(device->Served(), (std::vector<TBytes>{first, second}));
  }
}

TEST_P(NumberedProtocols, GivesUpAfterBoundedRetries) {
  const int protocol = GetParam();
  struct TCase {
    TFault Fault;
    int Result;
    int Frames;
  };
  const TCase cases[] = {
      {TFakeDevice::sfBadCrc, deBadFrames,
       protocol == 2 ? TLink2::kMaxBadAnswers : TLink3::kMaxBadAnswers},
      {TFakeDevice::sfOtherNumber, deBadFrames,
       protocol == 2 ? TLink2::kMaxOtherAnswers : TLink3::kMaxOtherAnswers},
      {TFakeDevice::sfIgnore, deTimeout, protocol == 2 ? TLink2::kMaxSilences : TLink3::kMaxNoAck},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Fault);
    auto device = Serving(protocol, std::vector<TFakeDevice::TFrameStep>(c.Frames, {c.Fault, 0}));
    TDriver driver(ProtocolSettings(device->Uri(), protocol));
    driver.SetTransferBytes("11 1E 00 00 00");
    EXPECT_EQ(driver.ExchangeBytes(), c.Result);
    EXPECT_EQ(driver.ResultCode(), c.Result);
    EXPECT_EQ(driver.TransferBytes(), "");
    EXPECT_EQ(device->Frames().size(), static_cast<std::size_t>(c.Frames));
    // The device is well again: the next request goes through, with the next number.
    ExpectEcho(driver, Hex("10 1E 00 00 00"));
    EXPECT_EQ(device->Finish(), "");
    ASSERT_EQ(device->Frames().size(), c.Frames + 1u);
    EXPECT_EQ(device->Frames().back().Number, 2u);
    // Protocol 2 opens a new session after a failed exchange.
    EXPECT_EQ(device->Syncs(), protocol == 2 ? 2 : 0);
  }
}

TEST_P(NumberedProtocols, OpensANewSessionWhenTheLinkIsOpenedAgain) {
  const int protocol = GetParam();
  auto device = Serving(protocol, {{TFakeDevice::sfNone, 0}, {TFakeDevice::sfHangup, 0}});
  TDriver driver(ProtocolSettings(device->Uri(), protocol));
  ExpectEcho(driver, Hex("11 1E 00 00 00"));
  driver.SetTransferBytes("10 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deNoConnection);
  ExpectEcho(driver, Hex("10 1E 00 00 00"));
  // Closed by the driver: a new session too.
  driver.Disconnect();
  ExpectEcho(driver, Hex("12 1E 00 00 00"));
  EXPECT_EQ(device->Finish(), "");
  EXPECT_EQ(device->Syncs(), protocol == 2 ? 3 : 0);
  // The numbers run on: the lost request's number is not used again.
  EXPECT_EQ(Numbers(device->Frames()), (std::vector<std::uint32_t>{1, 2, 3, 4}));
}

TEST(LinkNumbers, RunFromOneToTheFramesWidthAndStartAgain) {
  EXPECT_EQ(TLink2::NextNumber(0), 1u);
  EXPECT_EQ(TLink2::NextNumber(1), 2u);
  EXPECT_EQ(TLink2::NextNumber(0xFFFE), 0xFFFFu);
  EXPECT_EQ(TLink2::NextNumber(0xFFFF), 1u);
  EXPECT_EQ(TLink3::NextNumber(0), 1u);
  EXPECT_EQ(TLink3::NextNumber(0xFE), 0xFFu);
  EXPECT_EQ(TLink3::NextNumber(0xFF), 1u);
  // The answer is told by its number, and in protocol 2 a Sync's answer by its empty payload.
  TKorvanFrame2 frame2;
  EXPECT_TRUE(TLink2::IsSyncAnswer(frame2));
  EXPECT_FALSE(TLink2::IsAnswerTo(frame2, 0));
  frame2.Data = Hex("11 00");
  frame2.Number = 0x10007;
  EXPECT_TRUE(TLink2::IsAnswerTo(frame2, 7));
  EXPECT_FALSE(TLink2::IsAnswerTo(frame2, 8));
  EXPECT_FALSE(TLink2::IsSyncAnswer(frame2));
  TKorvanFrame3 frame3;
  frame3.Data = Hex("11 00");
  frame3.Number = 0x107;
  EXPECT_TRUE(TLink3::IsAnswerTo(frame3, 7));
  EXPECT_FALSE(TLink3::IsAnswerTo(frame3, 0x107));
}

}  // namespace
}  // namespace quillon
