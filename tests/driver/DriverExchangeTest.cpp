// The link layer seen from the wire: a scripted device checks every byte the driver sends.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "DriverTestUtils.h"
#include "FakeDevice.h"
#include "core/KorvanProtocol1.h"
#include "driver/TarvexDriver.h"
#include "parser/PrinterTypes.h"

namespace quillon {
namespace {

using test::FastSettings;
using test::Hex;
using test::kACK;
using test::kENQ;
using test::kNAK;
using test::TFakeDevice;

// A frame whose check byte is wrong.
TBytes CorruptFrame(std::string_view payload) {
  TBytes frame = TKorvanProtocol1::Encode(Hex(payload));
  frame.back() ^= 0x5A;
  return frame;
}

std::unique_ptr<TFakeDevice> Device() {
  auto device = TFakeDevice::ListenTcp();
  EXPECT_NE(device, nullptr);
  return device;
}

// The script of one clean exchange.
void PlainExchange(TFakeDevice& device, std::string_view request, std::string_view answer) {
  device.Expect(kENQ)
      .Send(kNAK)
      .ExpectFrame(Hex(request))
      .Send(kACK)
      .SendFrame(Hex(answer))
      .Expect(kACK);
}

TEST(DriverExchange, ExchangesCommandsOverOneConnection) {
  auto device = Device();
  PlainExchange(*device, "11 1E 00 00 00", "11 00 1E 02 05");
  PlainExchange(*device, "FF 01 1E 00 00 00", "FF 01 00 AA");
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetBinaryConversion(1);
  EXPECT_EQ(driver.BinaryConversion(), 1);
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "11 00 1E 02 05");
  EXPECT_EQ(driver.ResultCode(), 0);
  EXPECT_EQ(driver.ResultCodeDescription(), "Ошибок нет");

  // Hex text without blanks and in lower case is read the same way.
  driver.SetTransferBytes("ff011e000000");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "FF 01 00 AA");
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverExchange, DropsAnswersLeftFromEarlierCommands) {
  auto device = Device();
  device->Expect(kENQ).Send(kACK).SendFrame(Hex("10 00 01 02")).Expect(kACK);
  PlainExchange(*device, "11 1E 00 00 00", "11 00 05");
  // A damaged leftover is taken off the device as well.
  device->Expect(kENQ).Send(kACK).Send(CorruptFrame("13 00")).Expect(kACK);
  PlainExchange(*device, "13 1E 00 00 00", "13 00");
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "11 00 05");
  driver.SetTransferBytes("13 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "13 00");
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverExchange, SendsTheRequestAgainAfterNak) {
  auto device = Device();
  const TBytes request = Hex("17 1E 00 00 00 01 41 42");
  device->Expect(kENQ).Send(kNAK);
  device->ExpectFrame(request).Send(kNAK).ExpectFrame(request).Send(kNAK);
  device->ExpectFrame(request).Send(kACK).SendFrame(Hex("17 00 1E")).Expect(kACK);
  // A request that stays refused: five tries, then the exchange fails.
  device->Expect(kENQ).Send(kNAK);
  for (int i = 0; i < 5; ++i) device->ExpectFrame(request).Send(kNAK);
  // A request whose reply got lost: the driver asks what became of it and gets the answer.
  device->Expect(kENQ).Send(kNAK).ExpectFrame(request);
  device->Expect(kENQ).Send(kACK).SendFrame(Hex("17 00 1E")).Expect(kACK);
  // A request that never reached the device is sent again once the device says it is ready.
  device->Expect(kENQ).Send(kNAK).ExpectFrame(request);
  device->Expect(kENQ).Send(kNAK).ExpectFrame(request).Send(kACK).SendFrame(Hex("17 00 1E"));
  device->Expect(kACK);
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes("17 1E 00 00 00 01 41 42");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "17 00 1E");

  driver.SetTransferBytes("17 1E 00 00 00 01 41 42");
  EXPECT_EQ(driver.ExchangeBytes(), deBadFrames);
  EXPECT_EQ(driver.ResultCode(), deBadFrames);
  EXPECT_EQ(driver.ResultCodeDescription(),
            "Искаженные кадры: обмен не удался после повторных попыток");
  EXPECT_EQ(driver.TransferBytes(), "");

  for (int round = 0; round < 2; ++round) {
    driver.SetTransferBytes("17 1E 00 00 00 01 41 42");
    EXPECT_EQ(driver.ExchangeBytes(), 0) << round;
    EXPECT_EQ(driver.TransferBytes(), "17 00 1E") << round;
  }
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverExchange, RecoversCorruptAnswersWithNakAndEnq) {
  auto device = Device();
  device->Expect(kENQ).Send(kNAK).ExpectFrame(Hex("11 1E 00 00 00")).Send(kACK);
  device->Send(CorruptFrame("11 00 01 02")).Expect(kNAK);
  device->Expect(kENQ).Send(kACK).SendFrame(Hex("11 00 01 02")).Expect(kACK);
  // A frame that stops short, then a frame of something else than a start byte.
  device->Expect(kENQ).Send(kNAK).ExpectFrame(Hex("10 1E 00 00 00")).Send(kACK);
  device->Send(Hex("02 05 10 00")).Expect(kNAK);
  device->Expect(kENQ).Send(kACK).Send(Hex("FF FF")).Expect(kNAK);
  device->Expect(kENQ).Send(kACK).SendFrame(Hex("10 00 07")).Expect(kACK);
  // The device has lost the refused answer: the command must not be sent a second time.
  device->Expect(kENQ).Send(kNAK).ExpectFrame(Hex("54")).Send(kACK);
  device->Send(CorruptFrame("54 00")).Expect(kNAK);
  device->Expect(kENQ).Send(kNAK);
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "11 00 01 02");
  driver.SetTransferBytes("10 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "10 00 07");
  driver.SetTransferBytes("54");
  EXPECT_EQ(driver.ExchangeBytes(), deBadFrames);
  EXPECT_EQ(driver.TransferBytes(), "");
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverExchange, GivesUpOnASilentDevice) {
  auto device = Device();
  // No reply to ENQ: three tries.
  device->Expect(kENQ).Expect(kENQ).Expect(kENQ);
  // The request is accepted but the answer never comes.
  device->Expect(kENQ).Send(kNAK).ExpectFrame(Hex("80 1E 00 00 00")).Send(kACK);
  // The device keeps that answer; the next exchange takes it off and drops it.
  device->Expect(kENQ).Send(kACK).SendFrame(Hex("80 00")).Expect(kACK);
  PlainExchange(*device, "11 1E 00 00 00", "11 00");
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deTimeout);
  EXPECT_EQ(driver.ResultCodeDescription(), "Истекло время ожидания ответа устройства");
  EXPECT_EQ(driver.TransferBytes(), "");
  driver.SetTransferBytes("80 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deTimeout);
  EXPECT_EQ(driver.ResultCode(), deTimeout);
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "11 00");
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverExchange, ReportsALostConnectionAndConnectsAgain) {
  auto device = Device();
  device->Expect(kENQ).Send(kNAK).ExpectFrame(Hex("11 1E 00 00 00")).Reconnect();
  PlainExchange(*device, "11 1E 00 00 00", "11 00 03");
  // Dropped while idle: the next exchange connects again by itself.
  device->Reconnect();
  PlainExchange(*device, "10 1E 00 00 00", "10 00");
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deNoConnection);
  EXPECT_EQ(driver.ResultCodeDescription(), "Нет связи");
  EXPECT_EQ(driver.TransferBytes(), "");
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "11 00 03");
  ASSERT_TRUE(device->WaitForDisconnects(2));
  driver.SetTransferBytes("10 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "10 00");
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverExchange, ReportsAddressesThatCannotBeOpened) {
  // A port with nobody listening: take a free one and let it go.
  auto closed = TFakeDevice::ListenTcp();
  ASSERT_NE(closed, nullptr);
  const std::string uri = closed->Uri();
  closed.reset();

  TDriver driver(FastSettings(uri));
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), dePortOpen);
  EXPECT_EQ(driver.ResultCode(), dePortOpen);
  EXPECT_EQ(driver.ResultCodeDescription().find("Не удалось открыть порт: " + uri), 0u)
      << driver.ResultCodeDescription();
  EXPECT_EQ(driver.TransferBytes(), "");

  driver.SetSettings(FastSettings("tcp://127.0.0.1:0"));
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), dePortOpen);
  EXPECT_EQ(driver.ResultCodeDescription(),
            "Не удалось открыть порт: Неверный номер порта в адресе устройства: "
            "tcp://127.0.0.1:0 (допустимо от 1 до 65535)");

  driver.SetSettings(FastSettings("serial:/nonexistent/ttyQ9"));
  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), dePortOpen);
  EXPECT_EQ(driver.ResultCodeDescription().find("Не удалось открыть порт: serial:/nonexistent"),
            0u);
}

TEST(DriverExchange, RefusesRequestsThatCannotBeSent) {
  auto device = Device();
  // 255 bytes is the largest payload a frame carries.
  std::string longest = "FC";
  for (int i = 1; i < 255; ++i) longest += i % 2 ? " 5A" : " A5";
  PlainExchange(*device, longest, "FC 00");
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  // None of these reaches the wire: the device sees only the exchange above.
  driver.SetTransferBytes(longest + " 00");
  EXPECT_EQ(driver.ExchangeBytes(), deRequestTooLong);
  EXPECT_EQ(driver.ResultCodeDescription(), "Команда длиннее 255 байт не помещается в кадр");
  EXPECT_EQ(driver.TransferBytes(), "");

  driver.SetTransferBytes("");
  EXPECT_EQ(driver.ExchangeBytes(), deBadRequest);
  EXPECT_EQ(driver.ResultCodeDescription(), "Не задана команда для отправки");
  driver.SetTransferBytes("  \r\n");
  EXPECT_EQ(driver.ExchangeBytes(), deBadRequest);

  // Text that is only partly hex would send a shortened command.
  driver.SetTransferBytes("11 1E ZZ 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deBadRequest);
  EXPECT_EQ(driver.ResultCodeDescription(),
            "Неверный шестнадцатеричный текст команды: 11 1E ZZ 00 00");
  EXPECT_EQ(driver.TransferBytes(), "");

  driver.SetTransferBytes(longest);
  EXPECT_EQ(driver.ExchangeBytes(), 0);
  EXPECT_EQ(driver.TransferBytes(), "FC 00");
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverExchange, ReturnsDeviceResultsWithTheirTexts) {
  auto device = Device();
  PlainExchange(*device, "80 1E 00 00 00 10 27 00 00 00", "80 50");
  PlainExchange(*device, "80 1E 00 00 00 10 27 00 00 00", "80 4B");
  PlainExchange(*device, "FF 46 1E 00 00 00", "FF 46 02");
  // Answers that do not belong to the command.
  PlainExchange(*device, "11 1E 00 00 00", "12 00 01");
  PlainExchange(*device, "FF 46 1E 00 00 00", "FF");
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes("80 1E 00 00 00 10 27 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0x50);
  EXPECT_EQ(driver.ResultCode(), 0x50);
  EXPECT_EQ(driver.ResultCodeDescription(), "Идет печать предыдущей команды");
  // The request stays, so that a retry sends it again.
  EXPECT_EQ(driver.TransferBytes(), "80 1E 00 00 00 10 27 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0x4B);
  EXPECT_EQ(driver.ResultCodeDescription(), "Буфер чека переполнен");

  driver.SetTransferBytes("FF 46 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 2);
  EXPECT_EQ(driver.ResultCodeDescription(), TPrinterError::GetDescription(2, true));

  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deBadFrames);
  EXPECT_EQ(driver.ResultCodeDescription(), "Ответ устройства не соответствует команде: 12 00 01");
  EXPECT_EQ(driver.TransferBytes(), "");
  driver.SetTransferBytes("FF 46 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deBadFrames);
  EXPECT_EQ(device->Finish(), "");
}

}  // namespace
}  // namespace quillon
