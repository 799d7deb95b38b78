// Abort from another thread: a pending exchange, print wait or connection attempt ends
// within 200 ms, the link is closed, and what comes after runs as usual.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "DriverTestUtils.h"
#include "FakeDevice.h"
#include "driver/TarvexDriver.h"

namespace quillon {
namespace {

using test::EchoAnswer;
using test::Hex;
using test::ProtocolName;
using test::ProtocolSettings;
using test::TFakeDevice;
using TClock = std::chrono::steady_clock;

// Well within the 200 ms promised, with room for a busy machine.
constexpr auto kAbortLimit = std::chrono::milliseconds(200);

// Runs `call` on a thread, aborts after `after`, and answers the call's result and how
// long it took to return after the abort.
std::pair<int, TClock::duration> AbortDuring(TDriver& driver, std::chrono::milliseconds after,
                                             const std::function<int()>& call) {
  int result = 0;
  TClock::time_point returned;
  std::thread caller([&] {
    result = call();
    returned = TClock::now();
  });
  std::this_thread::sleep_for(after);
  const auto aborted = TClock::now();
  driver.Abort();
  caller.join();
  return {result, returned - aborted};
}

class DriverAbort : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(All, DriverAbort, ::testing::Values(1, 2, 3), ProtocolName);

TEST_P(DriverAbort, EndsAnExchangeTheDeviceIsSlowToAnswer) {
  const int protocol = GetParam();
  auto device = TFakeDevice::ListenTcp();
  ASSERT_NE(device, nullptr);
  device->ServeProtocol(protocol, EchoAnswer, {{TFakeDevice::sfNone, 5000}});
  device->Start();
  TDriverSettings settings = ProtocolSettings(device->Uri(), protocol);
  settings.AnswerTimeout = 10000;
  TDriver driver(settings);

  // Nothing is pending: no effect on what comes later.
  driver.Abort();
  driver.SetTransferBytes("80 1E 00 00 00");
  auto [result, took] =
      AbortDuring(driver, std::chrono::milliseconds(300), [&] { return driver.ExchangeBytes(); });
  EXPECT_EQ(result, deAborted);
  EXPECT_LT(took, kAbortLimit);
  EXPECT_EQ(driver.ResultCode(), deAborted);
  EXPECT_EQ(driver.ResultCodeDescription(), "Обмен прерван");
  EXPECT_EQ(driver.TransferBytes(), "");
  // The link was closed under the device.
  EXPECT_TRUE(device->WaitForDisconnects(1));

  driver.SetTransferBytes("11 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
  EXPECT_EQ(driver.TransferBytes(), BytesToHex(EchoAnswer(Hex("11 1E 00 00 00"))));
  EXPECT_EQ(device->Finish(), "");
  EXPECT_EQ(device->Syncs(), protocol == 2 ? 2 : 0);
}

TEST(DriverAbortWait, EndsWaitingForPrinting) {
  auto device = TFakeDevice::ListenTcp();
  ASSERT_NE(device, nullptr);
  // Short status: always printing (submode 5).
  device->ServeProtocol(1, [](const TBytes&) { return Hex("10 00 1E 02 01 04 05 00 40"); });
  device->Start();
  TDriverSettings settings = test::FastSettings(device->Uri());
  settings.PrintTimeout = 60000;
  TDriver driver(settings);
  auto [result, took] =
      AbortDuring(driver, std::chrono::milliseconds(350), [&] { return driver.WaitForPrinting(); });
  EXPECT_EQ(result, deAborted);
  EXPECT_LT(took, kAbortLimit);
  EXPECT_EQ(driver.ResultCode(), deAborted);
  EXPECT_GE(device->Served().size(), 1u);
  // Whether it came during a poll or between two, the next exchange runs as usual.
  driver.SetTransferBytes("10 1E 00 00 00");
  EXPECT_EQ(driver.ExchangeBytes(), 0) << driver.ResultCodeDescription();
  EXPECT_EQ(device->Finish(), "");
}

// A listening socket with a full queue: a connection to it hangs until its time runs out.
TEST(DriverAbortWait, EndsAConnectionAttempt) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  TDriverSettings settings =
      test::FastSettings("tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
  settings.AnswerTimeout = 10000;
  TDriver driver(settings);
  driver.SetTransferBytes("11 1E 00 00 00");
  auto [result, took] =
      AbortDuring(driver, std::chrono::milliseconds(300), [&] { return driver.ExchangeBytes(); });
  EXPECT_EQ(result, deAborted);
  EXPECT_LT(took, kAbortLimit);
  EXPECT_EQ(driver.ResultCodeDescription(), "Обмен прерван");
  close(filler);
  close(listener);
}

}  // namespace
}  // namespace quillon
