// Status queries, waiting for the printer, and several callers sharing one driver.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "DriverTestUtils.h"
#include "FakeDevice.h"
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

// A status answer (command 0x11) with the given mode and submode.
TBytes StatusAnswer(std::uint8_t mode, std::uint8_t submode) {
  // code, result, operator, version (2), build (2), date (3), logical number, document (2),
  // flags (2), mode, submode, port, and more that the driver does not read.
  TBytes answer = Hex("11 00 1E 41 32 10 27 0F 03 18 01 22 00 02 01");
  answer.push_back(mode);
  answer.push_back(submode);
  answer += Hex("00 41 32 10 27");
  return answer;
}

// A short status answer (command 0x10) with the given submode.
TBytes ShortStatusAnswer(std::uint8_t submode, std::uint8_t result = 0) {
  TBytes answer = MakeBytes({0x10, result, 0x1E, 0x02, 0x01, 0x04, submode, 0x00, 0x40});
  if (result != 0) answer.resize(2);
  return answer;
}

void Exchange(TFakeDevice& device, TBytesView request, TBytesView answer) {
  device.Expect(test::kENQ).Send(kNAK).ExpectFrame(request).Send(kACK).SendFrame(answer);
  device.Expect(kACK);
}

TEST(DriverStatus, ReadsTheModesWithThePassword) {
  auto device = TFakeDevice::ListenTcp();
  ASSERT_NE(device, nullptr);
  Exchange(*device, Hex("11 1E 00 00 00"), StatusAnswer(0x84, 0x03));
  Exchange(*device, Hex("11 4E 61 BC 00"), StatusAnswer(0x02, 0x00));
  Exchange(*device, Hex("11 4E 61 BC 00"), Hex("11 00 1E 41 32 10 27 0F 03 18 01 22 00 02 01 08"));
  Exchange(*device, Hex("11 4E 61 BC 00"), Hex("11 4F"));
  device->Start();

  TDriverSettings settings = FastSettings(device->Uri());
  settings.SysAdminPassword = 12345678;
  TDriver driver(settings);
  driver.SetTransferBytes("FC");
  EXPECT_EQ(driver.Password(), 30);
  EXPECT_EQ(driver.GetECRStatus(), 0);
  EXPECT_EQ(driver.ECRMode(), 0x84);
  EXPECT_EQ(driver.ECRAdvancedMode(), 3);
  EXPECT_EQ(driver.ECRModeDescription(), GetECRModeDescription(0x84));
  EXPECT_EQ(driver.ECRAdvancedModeDescription(), GetECRAdvancedModeDescription(3));
  EXPECT_EQ(driver.ResultCode(), 0);
  // The status query leaves the replayed command's text alone.
  EXPECT_EQ(driver.TransferBytes(), "FC");

  // The window copies the administrator's password before asking.
  driver.SetPassword(driver.SysAdminPassword());
  EXPECT_EQ(driver.GetECRStatus(), 0);
  EXPECT_EQ(driver.ECRMode(), 2);
  EXPECT_EQ(driver.ECRAdvancedMode(), 0);
  EXPECT_EQ(driver.ECRModeDescription(), GetECRModeDescription(2));

  // An answer that ends before the submode, and a refusal, keep the modes read before.
  EXPECT_EQ(driver.GetECRStatus(), deBadFrames);
  EXPECT_EQ(driver.ResultCodeDescription().find("Ответ устройства короче ожидаемого"), 0u);
  EXPECT_EQ(driver.ECRMode(), 2);
  EXPECT_EQ(driver.GetECRStatus(), 0x4F);
  EXPECT_EQ(driver.ResultCodeDescription(), TPrinterError::GetDescription(0x4F, true));
  EXPECT_EQ(driver.ECRMode(), 2);
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverStatus, WaitsWhilePrinting) {
  auto device = TFakeDevice::ListenTcp();
  ASSERT_NE(device, nullptr);
  const TBytes poll = Hex("10 1E 00 00 00");
  Exchange(*device, poll, ShortStatusAnswer(5));
  Exchange(*device, poll, ShortStatusAnswer(0, 0x50));
  Exchange(*device, poll, ShortStatusAnswer(4));
  Exchange(*device, poll, ShortStatusAnswer(0));
  // Submode 3 (paper out) is not a printing phase: the wait ends.
  Exchange(*device, poll, ShortStatusAnswer(3));
  // A device error ends the wait with that error.
  Exchange(*device, poll, ShortStatusAnswer(5));
  Exchange(*device, poll, ShortStatusAnswer(0, 0x6B));
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  driver.SetTransferBytes("80 1E 00 00 00");
  EXPECT_EQ(driver.WaitForPrinting(), 0);
  EXPECT_EQ(driver.ResultCode(), 0);
  EXPECT_EQ(driver.TransferBytes(), "80 1E 00 00 00");
  EXPECT_EQ(driver.WaitForPrinting(), 0);
  EXPECT_EQ(driver.WaitForPrinting(), 0x6B);
  EXPECT_EQ(driver.ResultCode(), 0x6B);
  EXPECT_EQ(device->Finish(), "");
}

TEST(DriverStatus, StopsWaitingForPrintingAtTheTimeLimit) {
  auto device = TFakeDevice::ListenTcp();
  ASSERT_NE(device, nullptr);
  device->Serve([](const TBytes&) { return ShortStatusAnswer(5); });
  device->Start();

  TDriverSettings settings = FastSettings(device->Uri());
  settings.PrintTimeout = 250;
  TDriver driver(settings);
  EXPECT_EQ(driver.WaitForPrinting(), deStillPrinting);
  EXPECT_EQ(driver.ResultCode(), deStillPrinting);
  EXPECT_EQ(driver.ResultCodeDescription(), "Устройство не завершило печать за отведенное время");
  EXPECT_EQ(device->Finish(), "");
  const auto served = device->Served();
  EXPECT_GE(served.size(), 2u);
  for (const TBytes& request : served) EXPECT_EQ(request, Hex("10 1E 00 00 00"));
}

TEST(DriverStatus, SerialisesCallersFromSeveralThreads) {
  auto device = TFakeDevice::ListenTcp();
  ASSERT_NE(device, nullptr);
  // Echoes requests; the status command gets a status answer. A frame broken up by another
  // caller's bytes makes the device report a failure.
  device->Serve([](const TBytes& request) {
    if (request[0] == 0x11) return StatusAnswer(0x04, 0x00);
    TBytes answer = request;
    answer.insert(answer.begin() + 1, 0x00);
    return answer;
  });
  device->Start();

  TDriver driver(FastSettings(device->Uri()));
  constexpr int kRounds = 8;
  std::atomic<int> statusFailures{0};
  std::thread ui([&] {
    for (int i = 0; i < kRounds; ++i)
      if (driver.GetECRStatus() != 0 || driver.ECRMode() != 4) ++statusFailures;
  });
  for (int i = 0; i < kRounds; ++i) {
    const std::string request =
        "80 1E 00 00 00 " + BytesToHex(MakeBytes({static_cast<std::uint8_t>(i)}));
    driver.SetTransferBytes(request);
    EXPECT_EQ(driver.ExchangeBytes(), 0) << i;
    EXPECT_EQ(driver.TransferBytes(), "80 00 1E 00 00 00 " + request.substr(15)) << i;
  }
  ui.join();
  EXPECT_EQ(statusFailures, 0);
  EXPECT_EQ(device->Finish(), "");
  EXPECT_EQ(device->Served().size(), 2u * kRounds);
}

}  // namespace
}  // namespace quillon
