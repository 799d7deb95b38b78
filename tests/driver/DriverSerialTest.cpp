// The serial transport against a device on the other side of a pseudo-terminal.
#include <gtest/gtest.h>

#include "DriverTestUtils.h"
#include "FakeDevice.h"
#include "driver/TarvexDriver.h"

namespace quillon {
namespace {

using test::FastSettings;
using test::Hex;
using test::kACK;
using test::kENQ;
using test::kNAK;
using test::TFakeDevice;

TEST(DriverSerial, ExchangesThroughAPseudoTerminal) {
  auto device = TFakeDevice::OpenPty();
  ASSERT_NE(device, nullptr);
  // Bytes that a terminal in cooked mode would change or swallow: XON, XOFF, CR, LF,
  // interrupt, end of file, DEL.
  const TBytes request = Hex("11 1E 00 00 00 11 13 0D 0A 03 04 7F FF 00");
  const TBytes answer = Hex("11 00 13 11 0A 0D 1A 1C 7F");
  device->Expect(kENQ).Send(kNAK).ExpectFrame(request).Send(kACK).SendFrame(answer).Expect(kACK);
  // A corrupt answer is asked for again over the serial line too.
  TBytes corrupt = MakeBytes({0x02, 0x02, 0x10, 0x00, 0x55});
  device->Expect(kENQ).Send(kNAK).ExpectFrame(Hex("10 1E 00 00 00")).Send(kACK).Send(corrupt);
  device->Expect(kNAK).Expect(kENQ).Send(kACK).SendFrame(Hex("10 00")).Expect(kACK);
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes(BytesToHex(request));
  EXPECT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
  EXPECT_EQ(driver.TransferBytes(), BytesToHex(answer));
  driver.SetTransferBytes("10 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
  EXPECT_EQ(driver.TransferBytes(), "10 00");
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverSerial, TimesOutOnASilentLine) {
  auto device = TFakeDevice::OpenPty();
  ASSERT_NE(device, nullptr);
  device->Expect(kENQ).Expect(kENQ).Expect(kENQ);
  device->Start();

  TDriverSettings settings = FastSettings(device->Uri());
  settings.Address =
      "serial:" + device->Uri().substr(7, device->Uri().find('?') - 7) + "?baud=9600";
  TDriver driver(settings);
  driver.SetTransferBytes("10 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deTimeout);
  EXPECT_EQ(driver.ResultCodeDescription(), "Истекло время ожидания ответа устройства");
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverSerial, ReportsAVanishedDevice) {
  auto device = TFakeDevice::OpenPty();
  ASSERT_NE(device, nullptr);
  device->Expect(kENQ).Send(kNAK).ExpectFrame(Hex("10 1E 00 00 00")).Hangup();
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes("10 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), deNoConnection);
  EXPECT_EQ(driver.ResultCodeDescription(), "Нет связи");
  EXPECT_EQ(driver.TransferBytes(), "");
  EXPECT_EQ(device->Finish(), "");
}

}  // namespace
}  // namespace quillon
